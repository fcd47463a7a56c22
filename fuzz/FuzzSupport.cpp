#include "FuzzSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "base/Messages.h"
#include "platform/Drives.h"

namespace fuzzing {

TScratch& TScratch::Instance() {
  static TScratch scratch;
  return scratch;
}

TScratch::TScratch() {
  std::string pattern = (std::filesystem::temp_directory_path() / "readtarq-fuzz-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  RootDir = pattern;
}

TScratch::~TScratch() {
  std::error_code ignored;
  std::filesystem::remove_all(RootDir, ignored);
}

std::string TScratch::Fresh(const std::string& name) {
  std::filesystem::path dir = std::filesystem::path(RootDir) / name;
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  std::filesystem::create_directories(dir);
  return dir.string();
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

TCardInput SplitCardInput(const uint8_t* data, size_t size) {
  TCardInput input;
  if (size < 3) {
    input.DataFile.assign(reinterpret_cast<const char*>(data), size);
    return input;
  }
  input.Flags = data[0];
  size_t length = static_cast<size_t>(data[1]) | (static_cast<size_t>(data[2]) << 8);
  size_t offset = 3;
  if (length != 0xFFFF) {
    input.HasSectorFile = true;
    length = std::min(length, size - offset);
    input.SectorFile.assign(reinterpret_cast<const char*>(data + offset), length);
    offset += length;
  }
  input.DataFile.assign(reinterpret_cast<const char*>(data + offset), size - offset);
  return input;
}

std::string JoinCardInput(const TCardInput& input) {
  std::string bytes(1, static_cast<char>(input.Flags));
  size_t length = input.HasSectorFile ? std::min<size_t>(input.SectorFile.size(), 0xFFFE) : 0xFFFF;
  bytes += static_cast<char>(length & 0xFF);
  bytes += static_cast<char>(length >> 8);
  if (input.HasSectorFile) bytes += input.SectorFile.substr(0, length);
  return bytes + input.DataFile;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string WriteCard(const TCardInput& input, const std::string& name) {
  const std::string dir = TScratch::Instance().Fresh(name);
  WriteFile(dir + "/fichbase.dat", reinterpret_cast<const uint8_t*>(input.DataFile.data()),
            input.DataFile.size());
  if (input.HasSectorFile) {
    WriteFile(dir + "/secttarq.hex", reinterpret_cast<const uint8_t*>(input.SectorFile.data()),
              input.SectorFile.size());
  }
  auto table = std::make_shared<platform::TMappedDriveTable>();
  const int64_t size = (input.Flags & 1) ? 1 << 20 : 1 << 21;
  table->Map({.Letter = CardDrive, .Directory = dir, .Total = 1 << 21, .Free = size});
  platform::SetDriveTable(table);
  return dir;
}

TCardUnderTest::TCardUnderTest() {
  Card.Root = platform::DriveTable().RootOf(CardDrive);
  Card.Today = [] { return TProbeDate{2006, 6, 30}; };
}

namespace {
class TSilentMessages : public TMessages {
 public:
  void Warning(const std::string&) override {}
  void Error(const std::string&) override {}
  bool Confirm(const std::string&) override { return false; }
};
}  // namespace

void SilenceMessages() {
  static TSilentMessages silent;
  SetMessages(&silent);
}

}  // namespace fuzzing
