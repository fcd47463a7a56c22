#include "writers/EventWriter.h"

#include "base/FileFlags.h"

bool TEventWriter::CreateFile(TOutput& output, const TEventSetup& event, const std::string& name,
                              int recordSize) {
  if (Files.empty()) {
    Created.clear();
    Written.clear();
  }
  const std::string path = event.Directory + name;
  // Never into what exists: a file that appeared since the names were checked is not ours.
  const int code = event.Staging->Create(output.File, path, recordSize);
  Taken = code == platform::TRecordFile::NameTaken;
  CreateCode = code;
  if (code != 0) return false;
  output.Digest.Hash.Reset();
  output.Digest.Size = 0;
  output.File.SetTap(&output.Digest);
  output.Path = output.File.Name();
  output.Final = path;
  Files.push_back(&output);
  Created.push_back(name);
  return true;
}

void TEventWriter::Close(bool deleting) {
  for (TOutput* output : Files) {
    if (!output->File.IsOpen()) continue;
    WUtil::CloseChecked(output->File);
    if (deleting) {
      platform::TRecordFile::Erase(output->Path);
    } else {
      Written.push_back(
          {{output->Final, output->Digest.Size, output->Digest.Hash.FinalHex(), ""}, output->Path});
    }
  }
  // Every file is complete (or gone): none belongs to an event in hand any more.
  for (TOutput* output : Files) output->Path.clear();
  Files.clear();
  Closed();
  if (deleting) Created.clear();
}

void TEventWriter::Discard() {
  Release();
  for (TOutput* output : Files) {
    if (output->File.IsOpen()) {
      try {
        output->File.Close();
      } catch (const platform::EInOutError&) {
      }
    }
    if (!output->Path.empty()) {
      platform::TRecordFile::EraseQuietly(output->Path);
      output->Path.clear();
    }
  }
  Files.clear();
  Closed();
  Created.clear();
  for (const TWrittenFile& file : Written) platform::TRecordFile::EraseQuietly(file.Staged);
  Written.clear();
}

std::vector<TWrittenFile> TEventWriter::TakeWritten() {
  std::vector<TWrittenFile> files;
  files.swap(Written);
  return files;
}

std::string SensorFileName(int sensor, const std::string& baseName) {
  return "Capt_" + std::to_string(sensor) + "_" + baseName;
}
