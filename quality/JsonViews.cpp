#include "quality/JsonViews.h"

#include "seed/SeedText.h"

namespace {

template <typename T>
nlohmann::ordered_json OrNull(const std::optional<T>& value) {
  return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

}  // namespace

std::string UtcText(const TUtcTime& t) {
  const struct {
    int Value;
    int Width;
    const char* Before;
  } fields[] = {{t.Year, 4, ""},    {t.Month, 2, "-"},  {t.Day, 2, "-"},        {t.Hour, 2, "T"},
                {t.Minute, 2, ":"}, {t.Second, 2, ":"}, {t.Microsecond / 1000, 3, "."}};
  std::string text;
  for (const auto& f : fields) {
    text += f.Before;
    text += seed::DecimalText(f.Value, f.Width);
  }
  return text;
}

nlohmann::ordered_json StatusJson(const TCardFacts& card) {
  return {{"status", ValidUtf8(card.Status)},
          {"events", OrNull(card.Events)},
          {"used_bytes", OrNull(card.UsedBytes)},
          {"total_bytes", OrNull(card.TotalBytes)},
          {"eprom_version", OrNull(card.EpromVersion)}};
}

nlohmann::ordered_json ListJson(const std::vector<TListEntry>& entries) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const TListEntry& e : entries) {
    list.push_back({{"index", e.Index},
                    {"file", ValidUtf8(e.File)},
                    {"sample_rate", e.SampleRate},
                    {"duration_minutes", e.DurationMinutes},
                    {"gain", e.Gain},
                    {"station", OrNull(e.Station)},
                    {"channels", e.Channels},
                    {"start", UtcText(e.Start)},
                    {"gps_fix", e.GpsFix},
                    {"satellites", OrNull(e.Satellites)}});
  }
  return list;
}

nlohmann::ordered_json DrivesJson(const std::vector<TDriveEntry>& drives) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const TDriveEntry& d : drives) {
    const char letter =
        d.Letter >= 'A' && d.Letter <= 'Z' ? static_cast<char>(d.Letter - 'A' + 'a') : d.Letter;
    list.push_back({{"letter", std::string{letter, ':'}},
                    {"path", ValidUtf8(d.Path)},
                    {"size", OrNull(d.Size)},
                    {"status", ValidUtf8(d.Status)}});
  }
  return list;
}

std::string JsonText(const nlohmann::ordered_json& value, int indent) {
  return value.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string JsonText(const nlohmann::json& value, int indent) {
  return value.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}
