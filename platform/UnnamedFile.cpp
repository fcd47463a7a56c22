#include "platform/UnnamedFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/IoError.h"

namespace platform {

TUnnamedFile::~TUnnamedFile() {
  if (Handle >= 0) ::close(Handle);
}

bool TUnnamedFile::Open(const std::string& directory) {
  if (Handle >= 0) ::close(Handle);
  Handle = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  Dir = directory;
  Bytes = 0;
  return Handle >= 0;
}

int64_t TUnnamedFile::Append(std::string_view bytes) {
  const int64_t at = Bytes;
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::pwrite(Handle, bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(at + static_cast<int64_t>(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EInOutError(IoCodeFromErrno(n < 0 ? errno : ENOSPC), Dir);
    done += static_cast<size_t>(n);
  }
  Bytes += static_cast<int64_t>(bytes.size());
  return at;
}

void TUnnamedFile::Clear() {
  if (Handle >= 0 && ::ftruncate(Handle, 0) != 0) {
    ::close(Handle);
    Handle = -1;
  }
  Bytes = 0;
}

}  // namespace platform
