// Only code for POSIX systems: owners of what the Linux bodies open. Each closes what it holds
// when it goes, on every path out of the code that holds it; one can hand its descriptor over.
#pragma once

#include <dirent.h>
#include <memory>
#include <utility>

#include "platform/posix/system_calls.h"

// A descriptor, closed by `Close` when its owner lets it go.
template <int (*Close)(int)> class Descriptor {
public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other)
      reset(other.release());
    return *this;
  }
  ~Descriptor() { reset(); }

  int get() const { return fd_; } // -1 when it holds none
  bool is_open() const { return fd_ >= 0; }
  // Closes what it holds and holds `fd` instead.
  void reset(int fd = -1) {
    if (fd_ >= 0)
      Close(fd_);
    fd_ = fd;
  }
  // Hands the descriptor over; the owner then holds none.
  int release() { return std::exchange(fd_, -1); }

private:
  int fd_ = -1;
};

// A descriptor of the file-system layer, closed through its table of system calls.
using OwnedFd = Descriptor<sys::close>;

// A directory's listing, closed through the table.
struct CloseListing {
  void operator()(DIR* dir) const { sys::closedir(dir); }
};
using OwnedListing = std::unique_ptr<DIR, CloseListing>;
