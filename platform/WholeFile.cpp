#include "platform/WholeFile.h"

#include <cerrno>
#include <cstdio>
#include <set>

#include "platform/DurableFlush.h"
#include "platform/IoError.h"
#include "platform/RecordFile.h"

namespace platform {

namespace {

// Writes the text to a file CreateNew made and closes it; a failure removes the file.
void WriteAndClose(TRecordFile& file, const std::string& path, std::string_view text) {
  int code = 0;
  try {
    file.WriteText(text);
    code = file.Close();  // a failing flush of what is buffered throws
  } catch (...) {
    if (file.IsOpen()) {
      try {
        file.Close();
      } catch (const EInOutError&) {
      }
    }
    TRecordFile::EraseQuietly(path);
    throw;
  }
  if (code != 0) {
    TRecordFile::EraseQuietly(path);
    throw ECloseError(code, path);
  }
}

// Flushes the closed file's data; a failure removes it.
void SyncOrErase(const std::string& path) {
  try {
    SyncFile(path);
  } catch (...) {
    TRecordFile::EraseQuietly(path);
    throw;
  }
}

// Writes the text to a new file beside path, under a name of its own, and flushes its data;
// returns that name. Errors name path, not the temporary.
std::string WriteReplacement(const std::string& path, std::string_view text) {
  const size_t slash = path.find_last_of('/');
  const std::string directory =
      slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // Beside the file, the rename stays within one file system. One left by a crash only takes
  // the next number.
  TRecordFile file;
  std::string temporary;
  for (int attempt = 0;; ++attempt) {
    temporary = directory + "." + name + ".readtarq-new" + std::to_string(attempt);
    const int code = file.CreateNew(temporary, 0);
    if (code == 0) break;
    if (code != TRecordFile::NameTaken || attempt == 99) {
      throw EInOutError(code == TRecordFile::NameTaken ? IoCodeFromErrno(EEXIST) : code, path);
    }
  }
  try {
    WriteAndClose(file, temporary, text);
    SyncOrErase(temporary);
  } catch (const ECloseError& error) {
    throw ECloseError(error.Code(), path);
  } catch (const EInOutError& error) {
    throw EInOutError(error.Code(), path);
  }
  return temporary;
}

}  // namespace

int WriteNewFile(const std::string& path, std::string_view text) {
  TRecordFile file;
  if (const int code = file.CreateNew(path, 0)) return code;
  WriteAndClose(file, path, text);
  SyncOrErase(path);
  SyncDirectory(ParentDirectory(path));
  return 0;
}

void ReplaceFile(const std::string& path, std::string_view text) {
  ReplaceFiles({{path, text}});
}

void ReplaceFiles(const std::vector<TReplacement>& files) {
  std::vector<std::string> temporaries;
  try {
    for (const TReplacement& file : files)
      temporaries.push_back(WriteReplacement(file.Path, file.Text));
  } catch (...) {
    for (const std::string& temporary : temporaries) TRecordFile::EraseQuietly(temporary);
    throw;
  }
  for (size_t i = 0; i < files.size(); ++i) {
    if (std::rename(temporaries[i].c_str(), files[i].Path.c_str()) != 0) {
      const int code = IoCodeFromErrno(errno);
      for (size_t j = i; j < files.size(); ++j) TRecordFile::EraseQuietly(temporaries[j]);
      throw EInOutError(code, files[i].Path);
    }
  }
  std::set<std::string> directories;
  for (const TReplacement& file : files) {
    if (directories.insert(ParentDirectory(file.Path)).second)
      SyncDirectory(ParentDirectory(file.Path));
  }
}

}  // namespace platform
