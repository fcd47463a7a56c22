// The sensor files: one text file per sensor (three channels, fewer for the last one).

#include <array>

#include "writers/TextWriter.h"

namespace {

class TSensorWriter : public TTextWriter {
 public:
  using TTextWriter::TTextWriter;

 private:
  // Every sensor an event may have: a file of an earlier event with more sensors counts too.
  std::vector<std::string> DoNames(const std::string& baseName, int) const override {
    std::vector<std::string> names;
    for (int s = 1; s <= MaxSensors; ++s) names.push_back(SensorFileName(s, baseName));
    return names;
  }
  std::string DoCreate(const TEventSetup& event) override {
    for (int s = 1; s <= event.Sensors && s <= MaxSensors; ++s) {
      const std::string name = SensorFileName(s, event.BaseName);
      if (!CreateText(Sensor[s - 1], event, name, s, 3 * (s - 1),
                      ChannelsOfSensor(s, event.Channels))) {
        return event.Directory + name;
      }
    }
    return {};
  }

 private:
  std::array<TTextFile, MaxSensors> Sensor;
};

}  // namespace

std::unique_ptr<TEventWriter> NewSensorWriter(TOutputWriter& writer) {
  return std::make_unique<TSensorWriter>(writer);
}
