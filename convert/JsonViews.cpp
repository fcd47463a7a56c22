#include "convert/JsonViews.h"

#include "convert/SeedText.h"

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
                {t.Minute, 2, ":"}, {t.Second, 2, ":"}, {t.Millisecond, 3, "."}};
  std::string text;
  for (const auto& f : fields) {
    text += f.Before;
    text += seed::DecimalText(f.Value, f.Width);
  }
  return text;
}

std::string ValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  for (size_t i = 0; i < text.size();) {
    const unsigned char b = byte(i);
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b < 0x80) {
      length = 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      if (b == 0xE0) low = 0xA0;   // no overlong forms
      if (b == 0xED) high = 0x9F;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      if (b == 0xF0) low = 0x90;
      if (b == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    }
    bool good = length > 0 && i + length <= text.size();
    for (size_t k = 1; good && k < length; ++k) {
      const unsigned char c = byte(i + k);
      good = k == 1 ? c >= low && c <= high : c >= 0x80 && c <= 0xBF;
    }
    if (good) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
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
                    {"start", UtcText(e.Start)}});
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
