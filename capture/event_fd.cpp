#include "capture/event_fd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace tessaly {

EventFd::EventFd() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

EventFd::~EventFd() {
  if (fd_ >= 0) close(fd_);
}

void EventFd::Post() const {
  if (fd_ < 0) return;
  const uint64_t one = 1;
  // Non-blocking: a full counter (never reached: each user posts a bounded number of times
  // before it takes) would fail, not wait.
  [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

void EventFd::Take() const {
  if (fd_ < 0) return;
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = read(fd_, &count, sizeof count);  // non-blocking
}

}  // namespace tessaly
