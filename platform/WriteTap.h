#pragma once
// What sees the bytes of a file as they are written: a record file hands every byte it accepts
// for writing to its tap, in order, on the thread that writes them (buffered or not). The
// download's writers take the size and SHA-256 of their files there, never by reading the
// files back.

#include <cstddef>

namespace platform {

class TWriteTap {
 public:
  virtual ~TWriteTap() = default;
  virtual void Written(const void* bytes, size_t size) = 0;
};

}  // namespace platform
