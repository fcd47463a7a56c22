#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "quality/JsonViews.h"
#include "platform/DurableFlush.h"
#include "platform/FileSystem.h"
#include "survey/ArchiveReport.h"

namespace survey {

namespace {

// Writes the text under a new temporary name and flushes it; returns that name.
std::string WriteTemporary(const std::string& path, const std::string& text) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temporary = platform::ParentDirectory(path) + "/." +
                                  path.substr(path.find_last_of('/') + 1) + ".partial" +
                                  std::to_string(attempt);
    const int handle =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (handle < 0 && errno == EEXIST) continue;
    if (handle < 0) throw std::runtime_error("Cannot create file " + path + ": " + std::strerror(errno));
    size_t written = 0;
    int error = 0;
    while (written < text.size()) {
      const ssize_t n = ::write(handle, text.data() + written, text.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = n < 0 ? errno : ENOSPC;
        break;
      }
      written += static_cast<size_t>(n);
    }
    if (error == 0) error = platform::SyncHook(handle, temporary, false);
    if (::close(handle) != 0 && error == 0) error = errno;
    if (error != 0) {
      ::unlink(temporary.c_str());
      throw std::runtime_error("Cannot write file " + path + ": " + std::strerror(error));
    }
    return temporary;
  }
  throw std::runtime_error("Cannot create file " + path + ": too many temporary files beside it");
}

}  // namespace

TArchiveFiles WriteArchiveReport(const std::string& directory, const TArchiveSurvey& survey) {
  std::string dir = directory;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (!platform::ForceDirectories(dir)) {
    throw std::runtime_error("Cannot create the directory " + directory);
  }
  TArchiveFiles files{dir + "/archive.json", dir + "/archive.html"};
  const std::string json = WriteTemporary(files.JsonPath, JsonText(ArchiveJson(survey)) + "\n");
  std::string html;
  try {
    html = WriteTemporary(files.HtmlPath, ArchiveHtml(survey));
  } catch (...) {
    ::unlink(json.c_str());
    throw;
  }
  for (const auto& [from, to] : {std::pair{json, files.JsonPath}, std::pair{html, files.HtmlPath}}) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
      const int error = errno;
      ::unlink(json.c_str());
      ::unlink(html.c_str());
      throw std::runtime_error("Cannot write file " + to + ": " + std::strerror(error));
    }
  }
  platform::SyncDirectory(dir);
  return files;
}

}  // namespace survey
