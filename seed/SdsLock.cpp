#include "seed/SdsLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "seed/SeedError.h"
#include "platform/IoError.h"

namespace seed {

TSdsLock::TSdsLock(const std::string& root, const std::string& network, const std::string& station)
    : Path(root + "/.sds." + network + "." + station + ".lock") {
  for (;;) {
    const int handle = ::open(Path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (handle < 0) {
      if (errno == ELOOP) {
        throw ESeedError(Path + ": a symbolic link, which the SDS archive does not follow");
      }
      throw platform::EInOutError(platform::IoCodeFromErrno(errno), Path);
    }
    while (::flock(handle, LOCK_EX) != 0) {
      if (errno != EINTR) {
        const int error = errno;
        ::close(handle);
        throw platform::EInOutError(platform::IoCodeFromErrno(error), Path);
      }
    }
    // The holder before may have removed the name after this open: the file held is then one
    // that no other writer can find, and the lock protects nothing.
    struct stat held {};
    struct stat named {};
    if (::fstat(handle, &held) == 0 && ::lstat(Path.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      Handle = handle;
      return;
    }
    ::close(handle);
  }
}

TSdsLock::~TSdsLock() {
  // Removed before it is let go: whoever opens the name next gets a new file or finds out.
  ::unlink(Path.c_str());
  ::close(Handle);
}

}  // namespace seed
