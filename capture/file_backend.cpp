#include "capture/file_backend.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>
#include <thread>

#include "capture/capture_file_formats.h"
#include "capture/raw_message_queue.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;

// Read in pieces of this size: memory stays the same however long the file.
constexpr size_t kReadSize = size_t{1} << 18;
// Fast: the raw queue is kept below half full, where the input thread would stop waiting for
// room; and the input thread waits for room as long as it takes.
constexpr uint64_t kRoomMark = RawMessageQueue::kCapacity / 2;
constexpr std::chrono::milliseconds kNoHoldBackLimit = std::chrono::hours(24);
constexpr auto kPollStep = 50us;
// The wait for the monitor's receive buffer at the start, in steps of 10 ms: two seconds.
constexpr int kBufferWaits = 200;
constexpr auto kNoticeStep = 200us;

int64_t AddSaturated(int64_t a, int64_t b) {
  if (b > 0 && a > std::numeric_limits<int64_t>::max() - b) {
    return std::numeric_limits<int64_t>::max();
  }
  if (b < 0 && a < std::numeric_limits<int64_t>::min() - b) {
    return std::numeric_limits<int64_t>::min();
  }
  return a + b;
}

// One replay: the file's thread, from the open to the end of the file (or the close).
class FileReplay final : public InputSource, private CaptureLogSink {
 public:
  FileReplay(FileBackend& backend, InputDelivery& delivery, std::string path, bool fast)
      : backend_(backend), delivery_(delivery), path_(std::move(path)), fast_(fast) {
    thread_ = std::thread([this] { Run(); });
  }
  ~FileReplay() override {
    {
      std::lock_guard lock(mutex_);
      stop_.store(true, std::memory_order_relaxed);  // read under the lock, or as a flag
    }
    wake_.notify_all();
    thread_.join();
  }
  FileReplay(const FileReplay&) = delete;
  FileReplay& operator=(const FileReplay&) = delete;

 private:
  void Run();
  void Event(const CaptureEvent& event) override;
  void Problem(uint64_t at, std::string_view what) override;

  // relaxed: a flag; the waits below see it under the lock or at their next step.
  bool Stopping() const { return stop_.load(std::memory_order_relaxed); }
  // Waits `step` (or until stopped); false once stopped.
  bool Pause(std::chrono::steady_clock::duration step) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, step, [this] { return Stopping(); });
  }
  bool WaitUntil(std::chrono::steady_clock::time_point when) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_until(lock, when, [this] { return Stopping(); });
  }
  // Until input runs: a stopped port loses nothing of the file.
  bool WaitForInput() {
    while (!delivery_.started()) {
      if (!Pause(10ms)) return false;
    }
    // The monitor lends its receive buffer just after the start: a file's first sysex must not
    // come before it, or its bytes would be dropped for want of one. A monitor that lends none
    // is waited for a moment only, once.
    for (; !bufferSeen_ && !delivery_.BufferQueued() && bufferWaits_ < kBufferWaits;
         ++bufferWaits_) {
      if (!Pause(10ms)) return false;
    }
    bufferSeen_ = true;
    return true;
  }
  // Until everything handed over so far has gone through the callback.
  bool WaitDelivered() {
    while (delivery_.Delivered() < queued_) {
      if (!Pause(kPollStep)) return false;
    }
    return true;
  }
  bool WaitForRoom(size_t n) {
    while (delivery_.QueuedBytes() + RawMessageQueue::kHeaderSize + n >= kRoomMark) {
      if (!Pause(kPollStep)) return false;
    }
    return true;
  }
  // Waits for input, and in real time for the event's time.
  bool Pace(int64_t ns);
  // The time stamp a message recorded at `ns` is handed over with.
  int64_t StampOf(int64_t ns);
  void Say(const std::string& line);

  FileBackend& backend_;
  InputDelivery& delivery_;
  const std::string path_;
  const bool fast_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::atomic<bool> stop_{false};
  // The file's thread only.
  std::string_view unit_;
  bool bufferSeen_ = false;  // the receive buffer was lent once (or waited for long enough)
  int bufferWaits_ = 0;
  bool timed_ = false;  // the bases below are set (at the first event)
  int64_t fileBase_ = 0;
  int64_t clockBase_ = 0;
  int64_t portNs_ = -1;  // the last port line's time, until a message follows it
  int64_t segmentStart_ = 0;
  bool segmentSet_ = false;
  uint64_t queued_ = 0;  // messages the raw queue took
  uint64_t events_ = 0;
  uint64_t said_ = 0;
  uint64_t unsaid_ = 0;
  std::thread thread_;
};

void FileReplay::Say(const std::string& line) {
  if (said_ >= FileBackend::kMaxNotices) {
    ++unsaid_;
    return;
  }
  ++said_;
  // The drain after the next one began once the one that shows the events before the notice had
  // ended (see the header); the events after it wait until it is taken. Each drain is asked for.
  const uint64_t drains = backend_.Drains();
  while (backend_.Drains() < drains + 2) {
    delivery_.AskForDrain();
    if (!Pause(kNoticeStep)) return;
  }
  const uint64_t ticket = backend_.Say("replay " + path_ + ": " + line);
  while (backend_.Taken() < ticket) {
    delivery_.AskForDrain();
    if (!Pause(kNoticeStep)) return;
  }
}

void FileReplay::Run() {
  // Not blocking in the open: a FIFO without a writer would hold the thread, and with it the
  // port's close. Only a regular file is read (a read of a FIFO or a device could do the same).
  const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    Say(std::string("cannot open: ") + std::strerror(errno));
    backend_.MarkEnded();
    return;
  }
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    Say("not a regular file");
    backend_.MarkEnded();
    return;
  }
  std::unique_ptr<CaptureFileReader> reader = MakeCaptureFileReader(path_);
  unit_ = reader->PlaceUnit();
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kReadSize]);
  uint64_t offset = 0;
  while (buffer && !Stopping()) {
    const ssize_t n = read(fd, buffer.get(), kReadSize);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      if (WaitDelivered()) {
        Say("read failed at byte " + std::to_string(offset) + ": " + std::strerror(error));
      }
      break;
    }
    if (n == 0) {
      reader->Finish(*this);
      break;
    }
    offset += static_cast<uint64_t>(n);
    reader->Feed(buffer.get(), static_cast<size_t>(n), *this);
  }
  close(fd);
  if (!buffer) Say("no memory to read it");
  if (!WaitDelivered()) return;
  if (unsaid_ > 0) {
    const uint64_t unsaid = unsaid_;
    said_ = 0;  // this one line is always said
    Say(std::to_string(unsaid) + " more lines not shown");
  }
  said_ = 0;
  Say("end of the file, " + std::to_string(events_) + " events");
  backend_.MarkEnded();
}

bool FileReplay::Pace(int64_t ns) {
  if (!WaitForInput()) return false;
  if (!timed_) {
    timed_ = true;
    fileBase_ = ns;
    clockBase_ = InputDelivery::NowNs();
  }
  // Real time: the file's gaps kept on the clock, from its first event on.
  const int64_t since = ns - fileBase_;  // both in [0, INT64_MAX]: no overflow
  if (fast_ || since <= 0) return true;
  const int64_t when = AddSaturated(clockBase_, since);
  return WaitUntil(std::chrono::steady_clock::time_point(std::chrono::nanoseconds(when)));
}

int64_t FileReplay::StampOf(int64_t ns) {
  if (portNs_ >= 0) {
    // The recorder stamps a message with the start of input plus whole milliseconds, and the
    // port's line stands at that start.
    segmentStart_ = ns >= portNs_ ? portNs_ : ns;
    portNs_ = -1;
    segmentSet_ = true;
  } else if (!segmentSet_) {
    segmentStart_ = ns;  // no port line first: the first message is at 0
    segmentSet_ = true;
  }
  // Counted from our own start as the live run's were from its: the same time prefixes.
  return AddSaturated(delivery_.StartNs(), ns - segmentStart_);
}

void FileReplay::Event(const CaptureEvent& event) {
  if (Stopping()) return;
  ++events_;
  if (!Pace(event.ns)) return;
  switch (event.kind) {
    case CaptureKind::kData: {
      // A message longer than a record of the raw queue goes in records the parser joins.
      const int64_t stampNs = StampOf(event.ns);
      const uint8_t* bytes = event.bytes.data();
      size_t left = event.bytes.size();
      while (left > 0) {
        const size_t piece = std::min(left, RawMessageQueue::kMaxMessage);
        if (fast_ && !WaitForRoom(piece)) return;
        if (!WaitForInput()) return;
        if (delivery_.ReceiveAt(bytes, piece, stampNs)) ++queued_;
        bytes += piece;
        left -= piece;
      }
      return;
    }
    case CaptureKind::kPort:
      portNs_ = event.ns;
      if (!WaitDelivered()) return;
      Say("recorded from port " +
          std::string(reinterpret_cast<const char*>(event.bytes.data()), event.bytes.size()));
      return;
    case CaptureKind::kDropMessages:
      if (!WaitDelivered()) return;
      delivery_.CountDropped(event.count, 0);
      return;
    case CaptureKind::kDropSysexBytes:
      if (!WaitDelivered()) return;
      delivery_.CountDropped(0, event.count);
      return;
    case CaptureKind::kLoss:
      if (!WaitDelivered()) return;
      delivery_.ReportLoss(event.loss, event.count, event.counted);
      return;
    case CaptureKind::kCut: {
      // In the raw queue with the messages, at its time, as the live run's mark was. Not a
      // message: the callback's count does not take it, so it is not counted in queued_.
      const int64_t stampNs = StampOf(event.ns);
      if (fast_ && !WaitForRoom(0)) return;
      if (!WaitForInput()) return;
      delivery_.CloseSysexAt(stampNs);
      return;
    }
  }
}

void FileReplay::Problem(uint64_t at, std::string_view what) {
  if (Stopping() || !WaitDelivered()) return;
  Say(std::string(unit_) + " " + std::to_string(at) + ": " + std::string(what));
}

}  // namespace

std::string FilePortName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return name.empty() ? path : name;
}

void FileBackend::SetFile(std::string path) {
  path_ = std::move(path);
  changes_.fetch_add(1, std::memory_order_relaxed);  // a count only
}

std::vector<PortListing> FileBackend::ListPorts() {
  if (path_.empty()) return {};
  return {{FilePortName(path_), PortGroup::kFile}};
}

MidiResult FileBackend::Open(size_t index, InputDelivery& delivery,
                             std::unique_ptr<InputSource>& source) {
  if (index != 0 || path_.empty()) return kBadDeviceId;
  ended_.store(false, std::memory_order_relaxed);  // no replay runs: nothing to order
  if (fast_) delivery.SetHoldBackLimit(kNoHoldBackLimit);
  try {
    source = std::make_unique<FileReplay>(*this, delivery, path_, fast_);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  } catch (const std::system_error&) {
    return kNoMemory;
  }
  return kNoError;
}

uint64_t FileBackend::Say(std::string line) {
  std::lock_guard lock(mutex_);
  notices_.push_back(std::move(line));
  return ++said_;
}

bool FileBackend::TakeNotice(std::string& line) {
  std::lock_guard lock(mutex_);
  if (notices_.empty()) {
    // release, both counts: the lines taken are appended before a replay that sees the count
    // moves on (the drain appends each before it asks for the next).
    drains_.fetch_add(1, std::memory_order_release);
    return false;
  }
  line = std::move(notices_.front());
  notices_.pop_front();
  taken_.fetch_add(1, std::memory_order_release);
  return true;
}

}  // namespace tessaly
