#pragma once

// An eventfd of our own, non-blocking: one thread polls fd(), another makes it readable (Post)
// without ever waiting. The drain's early wake and the ALSA readers' stop are each one. Linux
// only; where the system gives none, fd() is -1 and Post and Take do nothing.
namespace tessaly {

class EventFd {
 public:
  EventFd();
  ~EventFd();
  EventFd(const EventFd&) = delete;
  EventFd& operator=(const EventFd&) = delete;

  int fd() const { return fd_; }
  // Any thread: makes fd() readable. One system call, which never waits or allocates.
  void Post() const;
  // Makes fd() unreadable again (until the next Post). Never waits.
  void Take() const;

 private:
  const int fd_;
};

}  // namespace tessaly
