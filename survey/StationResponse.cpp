#include "survey/StationResponse.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <numbers>
#include <optional>
#include <stdexcept>

#include <pugixml.hpp>

#include "platform/RecordFile.h"
#include "survey/SurveyTime.h"

namespace survey {

namespace {

std::optional<double> Number(const pugi::xml_node& node) {
  std::string text = node.child_value();
  text.erase(0, text.find_first_not_of(" \t\r\n"));
  text.erase(text.find_last_not_of(" \t\r\n") + 1);
  if (!text.empty() && text[0] == '+') text.erase(0, 1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  return text;
}

std::optional<TMotion> MotionOf(const std::string& units) {
  const std::string u = Upper(units);
  if (u == "M") return TMotion::Displacement;
  if (u == "M/S" || u == "M/SEC") return TMotion::Velocity;
  if (u == "M/S**2" || u == "M/S2" || u == "M/S/S" || u == "M/SEC**2" || u == "M/S^2") {
    return TMotion::Acceleration;
  }
  return std::nullopt;
}

std::optional<std::complex<double>> Root(const pugi::xml_node& node) {
  const auto re = Number(node.child("Real"));
  const auto im = Number(node.child("Imaginary"));
  if (!re || !im) return std::nullopt;
  return std::complex<double>(*re, *im);
}

// The analog poles-and-zeros stage, or why it cannot be used; nullopt for a digital one.
std::optional<TPoleZeroStage> PoleZeroStage(const pugi::xml_node& pz, std::string& problem) {
  const std::string type = Upper(pz.child_value("PzTransferFunctionType"));
  if (type.find("DIGITAL") != std::string::npos) return std::nullopt;
  TPoleZeroStage stage;
  if (type == "LAPLACE(HERTZ)") {
    stage.Hertz = true;
  } else if (type != "LAPLACE(RADIANS/SECOND)") {
    problem = "poles and zeros of an unknown kind '" + type + "'";
    return std::nullopt;
  }
  for (const pugi::xml_node& node : pz.children()) {
    const std::string name = node.name();
    if (name != "Zero" && name != "Pole") continue;
    const auto root = Root(node);
    if (!root) {
      problem = "a pole or zero that is not a number";
      return std::nullopt;
    }
    (name == "Zero" ? stage.Zeros : stage.Poles).push_back(*root);
  }
  return stage;
}

std::string ChannelId(const pugi::xml_node& network, const pugi::xml_node& station,
                      const pugi::xml_node& channel) {
  return std::string(network.attribute("code").value()) + "." + station.attribute("code").value() +
         "." + channel.attribute("locationCode").value() + "." + channel.attribute("code").value();
}

// The response of one channel; an empty Id when it cannot be used (problem says why).
TChannelResponse ChannelResponse(const std::string& id, const pugi::xml_node& channel,
                                 std::string& problem) {
  TChannelResponse response;
  const pugi::xml_node node = channel.child("Response");
  if (!node) return response;
  double stageGains = 1;
  std::string firstInput;
  std::optional<double> firstFrequency;
  for (const pugi::xml_node& stage : node.children("Stage")) {
    if (const pugi::xml_node pz = stage.child("PolesZeros")) {
      if (firstInput.empty()) firstInput = pz.child("InputUnits").child_value("Name");
      if (const auto f = Number(pz.child("NormalizationFrequency")); f && !firstFrequency) {
        firstFrequency = *f;
      }
      std::optional<TPoleZeroStage> analog = PoleZeroStage(pz, problem);
      if (!problem.empty()) return response;
      if (analog) response.Stages.push_back(std::move(*analog));
    } else if (firstInput.empty()) {
      for (const char* kind : {"Coefficients", "FIR", "ResponseList", "Polynomial"}) {
        if (stage.child(kind)) firstInput = stage.child(kind).child("InputUnits").child_value("Name");
      }
    }
    if (const auto gain = Number(stage.child("StageGain").child("Value"))) stageGains *= *gain;
  }
  const pugi::xml_node sensitivity = node.child("InstrumentSensitivity");
  if (sensitivity) {
    response.InputUnits = sensitivity.child("InputUnits").child_value("Name");
    const auto value = Number(sensitivity.child("Value"));
    const auto frequency = Number(sensitivity.child("Frequency"));
    if (!value || !frequency) {
      problem = "an InstrumentSensitivity without a value or frequency";
      return response;
    }
    response.Sensitivity = *value;
    response.SensitivityFrequency = *frequency;
  } else {
    response.InputUnits = firstInput;
    response.Sensitivity = stageGains;
    response.SensitivityFrequency = firstFrequency.value_or(1);
  }
  const std::optional<TMotion> motion = MotionOf(response.InputUnits);
  if (!motion) {
    problem = "input units '" + response.InputUnits + "' are not ground motion";
    return response;
  }
  if (!(std::abs(response.Sensitivity) > 0) || !(response.SensitivityFrequency > 0)) {
    problem = "a sensitivity of 0";
    return response;
  }
  response.Motion = *motion;
  response.Id = id;
  if (const auto from = ParseIsoTime(channel.attribute("startDate").value())) {
    response.From = *from;
  }
  if (const auto to = ParseIsoTime(channel.attribute("endDate").value())) response.To = *to;
  return response;
}

}  // namespace

std::complex<double> TPoleZeroStage::Value(double frequency) const {
  const std::complex<double> s(0, Hertz ? frequency : 2 * std::numbers::pi * frequency);
  std::complex<double> value = 1;
  for (const auto& z : Zeros) value *= s - z;
  for (const auto& p : Poles) value /= s - p;
  return value;
}

double TChannelResponse::Gain(double frequency) const {
  double shape = 1;
  for (const TPoleZeroStage& stage : Stages) {
    shape *= std::abs(stage.Value(frequency)) / std::abs(stage.Value(SensitivityFrequency));
  }
  return std::abs(Sensitivity) * shape;
}

const TChannelResponse* TInventoryResponses::Find(const std::string& id, int64_t time) const {
  for (const TChannelResponse& channel : Channels) {
    if (channel.Id == id && channel.From <= time && time < channel.To) return &channel;
  }
  return nullptr;
}

TInventoryResponses ParseInventoryResponses(std::string_view text, const std::string& name) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_buffer(text.data(), text.size());
  if (!parsed) {
    throw std::runtime_error("Cannot read the inventory " + name + ": " + parsed.description());
  }
  const pugi::xml_node root = document.child("FDSNStationXML");
  if (!root) throw std::runtime_error("Cannot read the inventory " + name + ": not StationXML");
  TInventoryResponses responses;
  for (const pugi::xml_node& network : root.children("Network")) {
    for (const pugi::xml_node& station : network.children("Station")) {
      for (const pugi::xml_node& channel : station.children("Channel")) {
        const std::string id = ChannelId(network, station, channel);
        std::string problem;
        TChannelResponse response = ChannelResponse(id, channel, problem);
        if (!problem.empty()) {
          responses.Problems.push_back(id + ": " + problem + "; its noise is shown in counts");
        } else if (!response.Id.empty()) {
          responses.Channels.push_back(std::move(response));
        }
      }
    }
  }
  return responses;
}

TInventoryResponses ReadInventoryResponses(const std::string& path) {
  std::string text;
  try {
    text = platform::ReadWholeFile(path);
  } catch (const std::exception& e) {
    throw std::runtime_error("Cannot read the inventory " + path + ": " + e.what());
  }
  return ParseInventoryResponses(text, path);
}

}  // namespace survey
