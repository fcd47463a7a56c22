#include "platform/FileSystem.h"
#include "platform/IoError.h"
#include "platform/WholeFile.h"
#include "quality/JsonViews.h"
#include "survey/ArchiveReport.h"

namespace survey {

TArchiveFiles WriteArchiveReport(const std::string& directory, const TArchiveSurvey& survey) {
  std::string dir = directory;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  // The directory's own error is lost in the walk up its parents: it could not be made.
  if (!platform::ForceDirectories(dir)) throw platform::EInOutError(platform::IoAccessDenied, dir);
  TArchiveFiles files{dir + "/archive.json", dir + "/archive.html"};
  // Both pages written before either replaces its old one: a full disk leaves the pair as it was.
  const std::string json = JsonText(ArchiveJson(survey)) + "\n";
  const std::string html = ArchiveHtml(survey);
  platform::ReplaceFiles({{files.JsonPath, json}, {files.HtmlPath, html}});
  return files;
}

}  // namespace survey
