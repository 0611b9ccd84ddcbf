#include "capture/recorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "capture/capture_log_format.h"

namespace tessaly {
namespace {

// A record: the event's time (8 bytes), then its bytes; its kind is the queue's tag. A data
// record whose time lies within 2^31 ns of the time of the record before it carries only the
// distance, in the queue's stamp: a note is 11 bytes in the queue, not 19, which both threads feel
// (every byte of the queue crosses from one core's cache to the other's).
constexpr size_t kRecordHeader = 8;
constexpr uint8_t kNearData = 0xFF;  // the tag of such a record; the others are a CaptureKind
// Written when this much text is waiting, up to the last multiple of it in the file (the rest
// waits for the next write), and all of it whenever the queue is empty. Writes of whole aligned
// blocks cost the kernel a third less than the same bytes in writes that straddle them (dd of
// 280 MB into a file on this ext4: 0.06-0.07 s of system time in 64 KiB blocks, 0.10-0.11 s in
// blocks of 65 000 bytes).
constexpr size_t kWriteSize = size_t{1} << 16;
// Records taken from the queue at once (about 800 notes), then freed with one store.
constexpr uint64_t kTakeSize = uint64_t{1} << 14;
// The queue holds about half a second of notes at 100 000/s: 100 ms is well inside that, and
// leaves the disk 400 ms to stall. Each wake-up costs far more than its notes (measured: about
// 110 us a wake-up on the bench's machine, where 40 ms cost the thread 50 ns a note at
// 100 000/s and 100 ms 35 ns; 250 ms saved little more).
constexpr auto kPollPeriod = std::chrono::milliseconds(100);

}  // namespace

std::unique_ptr<Recorder> Recorder::Start(const std::string& path, std::string& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = "cannot record to " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<Recorder> recorder(new Recorder(fd, path, MakeCaptureFileWriter(path)));
  try {
    recorder->thread_ = std::thread([r = recorder.get()] { r->Run(); });
  } catch (const std::system_error&) {
    error = "cannot record to " + path + ": no thread";
    return nullptr;
  }
  return recorder;
}

Recorder::Recorder(int fd, std::string path, std::unique_ptr<CaptureFileWriter> writer)
    : fd_(fd),
      path_(std::move(path)),
      writer_(std::move(writer)),
      popBuffer_(new uint8_t[RawMessageQueue::kMaxMessage]) {
  text_.reserve(2 * kWriteSize);
  writer_->Begin(text_);
}

Recorder::~Recorder() {
  Stop();
  close(fd_);
}

void Recorder::Push(uint8_t kind, int64_t ns, const uint8_t* bytes, size_t n) {
  // relaxed: a flag; once set, nothing more is recorded (the file ends before the loss).
  if (full_.load(std::memory_order_relaxed)) return;
  // A message longer than a record holds (a piece of a long sysex as the service delivers
  // it) goes as several records of the same time: every format takes a sysex in pieces.
  constexpr size_t kMostBytes = RawMessageQueue::kMaxMessage - kRecordHeader;
  // The distance from the time before, modulo 2^64 (as the recorder thread adds it back).
  const uint64_t distance = static_cast<uint64_t>(ns) - static_cast<uint64_t>(pushedNs_);
  const bool near = kind == static_cast<uint8_t>(CaptureKind::kData) &&
                    distance + (uint64_t{1} << 31) < (uint64_t{1} << 32);
  size_t done = 0;
  do {
    const size_t piece = n - done < kMostBytes ? n - done : kMostBytes;
    // One record: the time (or its distance), then the bytes, copied into the queue as they are.
    const bool pushed = near ? queue_.PushJoined(static_cast<uint32_t>(distance), nullptr, 0,
                                                 bytes + done, piece, kNearData)
                             : queue_.PushJoined(0, reinterpret_cast<const uint8_t*>(&ns),
                                                 kRecordHeader, bytes + done, piece, kind);
    if (!pushed) {
      full_.store(true, std::memory_order_relaxed);
      return;
    }
    // The pieces after the first are at no distance from it.
    pushedNs_ = ns;
    done += piece;
  } while (done < n);
}

void Recorder::Delivered(int64_t ns, const uint8_t* bytes, size_t n) {
  Push(static_cast<uint8_t>(CaptureKind::kData), ns, bytes, n);
}

void Recorder::PortOpened(std::string_view name) {
  portName_.assign(name);
}

void Recorder::InputStarted(int64_t startNs) {
  Push(static_cast<uint8_t>(CaptureKind::kPort), startNs,
       reinterpret_cast<const uint8_t*>(portName_.data()), portName_.size());
}

void Recorder::Lost(const CaptureEvent& event) {
  // The count, then (a loss) its kind and whether the system gave the count.
  uint8_t payload[10];
  std::memcpy(payload, &event.count, 8);
  payload[8] = static_cast<uint8_t>(event.loss);
  payload[9] = event.counted ? 1 : 0;
  Push(static_cast<uint8_t>(event.kind), event.ns, payload, sizeof payload);
}

void Recorder::Run() {
  for (;;) {
    // acquire: pairs with the release in Stop; what was queued before is taken below.
    const bool quit = quit_.load(std::memory_order_acquire);
    if (!TakeQueued()) {
      ended_.store(true, std::memory_order_relaxed);  // relaxed: a flag; Stop joins
      break;
    }
    if (quit) break;
    // Woken early by Stop, so that a recording ends at once.
    std::unique_lock<std::mutex> lock(wakeMutex_);
    wake_.wait_for(lock, kPollPeriod, [this] { return quit_.load(std::memory_order_relaxed); });
  }
  Close();
}

void Recorder::Close() {
  if (writeFailed_) return;
  writer_->End(text_);
  if (!Flush()) return;
  events_.store(writer_->Kept(), std::memory_order_relaxed);  // a count only
  const CaptureFileWriter::Patch patch = writer_->Finish();
  if (patch.n == 0) return;
  const ssize_t n = pwrite(fd_, patch.bytes, patch.n, static_cast<off_t>(patch.at));
  if (n != static_cast<ssize_t>(patch.n) && why_.empty()) {
    why_ =
        std::string("cannot complete the file: ") + (n < 0 ? std::strerror(errno) : "short write");
  }
}

bool Recorder::TakeQueued() {
  if (stopped_) return false;
  for (;;) {
    const size_t taken = queue_.PopEach(popBuffer_.get(), kTakeSize,
                                        [this](uint8_t tag, uint32_t stamp, const uint8_t* record,
                                               size_t n) { Take(tag, stamp, record, n); });
    if (stopped_) return false;  // the writer took no more, or a write failed
    if (taken == 0) break;
    if (text_.size() >= kWriteSize) {
      if (!Flush(false)) return false;
      events_.store(writer_->Kept(), std::memory_order_relaxed);  // a count only
    }
  }
  if (!Flush()) return false;
  events_.store(writer_->Kept(), std::memory_order_relaxed);
  // relaxed: a flag (see Push); the events before the loss are all in the file.
  if (full_.load(std::memory_order_relaxed) && queue_.Used() == 0) {
    why_ = "the disk did not keep up";
    stopped_ = true;
    return false;
  }
  return true;
}

void Recorder::Take(uint8_t tag, uint32_t stamp, const uint8_t* record, size_t n) {
  CaptureEvent event;
  if (tag == kNearData) {
    // The distance is signed: a time may go back (a replayed file's, a test's).
    const auto distance = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(stamp)));
    event.ns = static_cast<int64_t>(static_cast<uint64_t>(takenNs_) + distance);
    event.bytes = {record, n};
  } else {
    if (n < kRecordHeader) return;  // never pushed so
    event.kind = static_cast<CaptureKind>(tag);
    std::memcpy(&event.ns, record, 8);
    event.bytes = {record + kRecordHeader, n - kRecordHeader};
  }
  takenNs_ = event.ns;
  if (stopped_) return;  // the rest is not written
  if (event.kind != CaptureKind::kPort && event.kind != CaptureKind::kData) {
    if (event.bytes.size() != 10) return;  // never pushed so
    std::memcpy(&event.count, event.bytes.data(), 8);
    event.loss = static_cast<SystemLoss>(event.bytes[8]);
    event.counted = event.bytes[9] != 0;
    event.bytes = {};
  }
  if (!writer_->Append(event, text_)) {
    why_ = writer_->FullWhy();
    stopped_ = true;
    full_.store(true, std::memory_order_relaxed);  // as for a full disk: nothing more pushed
    Flush();
    events_.store(writer_->Kept(), std::memory_order_relaxed);
  }
}

bool Recorder::Flush(bool whole) {
  size_t end = text_.size();
  if (!whole) {
    const uint64_t until = (written_ + end) / kWriteSize * kWriteSize;
    end = until > written_ ? static_cast<size_t>(until - written_) : 0;
  }
  size_t done = 0;
  while (done < end) {
    const ssize_t n = write(fd_, text_.data() + done, end - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (why_.empty()) why_ = n < 0 ? std::strerror(errno) : "nothing written";
      stopped_ = true;
      writeFailed_ = true;
      // Nothing more is taken: the producers see the queue fill and stop pushing.
      full_.store(true, std::memory_order_relaxed);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  written_ += end;
  text_.erase(0, end);
  return true;
}

std::string Recorder::Stop() {
  if (thread_.joinable()) {
    {
      const std::lock_guard<std::mutex> lock(wakeMutex_);
      quit_.store(true, std::memory_order_release);  // release: pairs with the acquire in Run
    }
    wake_.notify_one();
    thread_.join();
    if (!stopped_ && fsync(fd_) != 0 && errno != EINVAL) why_ = std::strerror(errno);
  }
  std::string held = std::to_string(Events()) + " events in " + path_;
  if (writer_->LeftOut() > 0) {
    held += "; " + std::to_string(writer_->LeftOut()) + " left out (not in " +
            std::string(writer_->Name()) + ")";
  }
  return why_.empty() ? "recording stopped: " + held
                      : "recording stopped early: " + why_ + "; " + held;
}

}  // namespace tessaly
