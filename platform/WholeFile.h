#pragma once
// Writing a whole file at once, in the only two ways the program writes one: created under a
// name nothing holds yet, never replacing anything, or replacing what holds the name atomically
// and durably. Either way the file is complete under its name or absent: a full disk, a crash
// or a power cut never leaves a half-written file behind.
//
// Failures throw EInOutError naming the path with the run-time layer's code; a file that could
// not be closed throws ECloseError (the caller decides whether that ends the program).

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Creates the file, which must not exist (not even as a dangling symbolic link: O_CREAT,
// O_EXCL, O_NOFOLLOW), writes the text, and flushes its data and its name to the medium.
// Returns 0, TRecordFile::NameTaken when the name is taken, or the run-time layer's code when
// the file could not be created; a failure after the creation throws, and leaves the name free.
int WriteNewFile(const std::string& path, std::string_view text);

// Replaces the file (or creates it): the text written to a new temporary file beside it, its
// data flushed, renamed over the path, the directory flushed. Until the rename the old file is
// untouched; after a failure no temporary file is left. A symbolic link at the path is
// replaced itself: callers that keep links pass the file the link names.
void ReplaceFile(const std::string& path, std::string_view text);

// Replaces files that belong together (a report's pages) as ReplaceFile does, each text written
// and flushed under its temporary name before the first rename: a failure while writing leaves
// every file as it was. A failing rename throws and leaves the files before it replaced.
struct TReplacement {
  std::string Path;
  std::string_view Text;
};
void ReplaceFiles(const std::vector<TReplacement>& files);

}  // namespace platform
