#include "capture/input_delivery.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>

#include "capture/midi_constants.h"

namespace tessaly {
namespace {

// The wake count as the kernel's futex word. std::atomic::wait spins first, with several
// sched_yield calls at each sleep: once every JACK cycle, and a good share of the input
// thread's time. The futex itself sleeps at once; the count is checked before and after.
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) &&
              std::atomic<uint32_t>::is_always_lock_free);
uint32_t* FutexWord(std::atomic<uint32_t>& word) {
  return reinterpret_cast<uint32_t*>(&word);
}

int64_t MonotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

// Turns what the parser finds into callback calls, for the message being delivered.
class InputDelivery::Sink : public MidiStreamSink {
 public:
  Sink(InputDelivery& delivery, uint32_t timeStamp) : delivery_(delivery), timeStamp_(timeStamp) {}

  void ShortMessage(uint32_t message) override { delivery_.Call(MIM_DATA, message, timeStamp_); }
  void Malformed(uint32_t message) override { delivery_.Call(MIM_ERROR, message, timeStamp_); }
  void SysexBytes(const uint8_t* bytes, size_t n, bool ends) override {
    delivery_.StoreSysex(bytes, n, ends, timeStamp_);
  }
  void SysexInterrupted() override {
    if (delivery_.CurrentBuffer() != nullptr) delivery_.ReturnBuffer(MIM_LONGERROR, timeStamp_);
  }

 private:
  InputDelivery& delivery_;
  const uint32_t timeStamp_;
};

InputDelivery::InputDelivery(MidiInHandle handle, MidiInputProc callback, uintptr_t instance)
    : handle_(handle),
      callback_(callback),
      instance_(instance),
      message_(new uint8_t[RawMessageQueue::kMaxMessage]) {}

InputDelivery::~InputDelivery() {
  Shutdown();
}

bool InputDelivery::Launch() {
  if (thread_.joinable()) return true;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void InputDelivery::Shutdown() {
  if (!thread_.joinable()) return;
  quit_.store(true, std::memory_order_release);  // release: seen by Run after its wake-up
  Wake();
  thread_.join();
}

void InputDelivery::Wake() {
  // seq_cst (a release at least: what was queued or requested before is visible to the input
  // thread once it sees the count move), and seq_cst below, paired with the seq_cst pair in
  // Sleep: either Sleep sees the count move on from `before`, or this sees the input thread
  // asleep at `before`.
  const uint32_t before = wake_.fetch_add(1, std::memory_order_seq_cst);
  // Only the one call that moves the count on from where the input thread fell asleep pays
  // for the system call: a JACK cycle hands its messages over one by one within
  // microseconds, and one wake-up takes them all. (A flag cleared by the first waker is not
  // enough: a waker whose count the input thread had already seen could clear the flag of
  // its next sleep and leave it asleep.)
  if (sleepingAt_.load(std::memory_order_seq_cst) == before) {
    syscall(SYS_futex, FutexWord(wake_), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
  }
}

void InputDelivery::Sleep(uint32_t seen) {
  // seq_cst, both: see Wake. The mark is never taken back: no later Wake finds the count at
  // `seen` again (but after 2^32 wake-ups, when one spare notify costs nothing).
  sleepingAt_.store(seen, std::memory_order_seq_cst);
  // The kernel sleeps only while the word still holds `seen` (a wake in between returns at once);
  // a spurious return or a signal checks again.
  while (wake_.load(std::memory_order_seq_cst) == seen) {
    syscall(SYS_futex, FutexWord(wake_), FUTEX_WAIT_PRIVATE, seen, nullptr, nullptr, 0);
  }
}

uint32_t InputDelivery::ElapsedMs() const {
  const int64_t elapsed = MonotonicNs() - startNs_.load(std::memory_order_relaxed);
  return static_cast<uint32_t>(static_cast<uint64_t>(std::max<int64_t>(elapsed, 0)) / 1000000u);
}

void InputDelivery::Receive(const uint8_t* bytes, size_t n) {
  if (n == 0) return;
  Push(bytes, n, -1);
}

bool InputDelivery::ReceiveAt(const uint8_t* bytes, size_t n, int64_t monotonicNs) {
  if (n == 0) return false;
  return Push(bytes, n, monotonicNs < 0 ? 0 : monotonicNs);
}

void InputDelivery::ReceiveAtLater(const uint8_t* bytes, size_t n, int64_t monotonicNs) {
  if (n == 0) return;
  Push(bytes, n, monotonicNs < 0 ? 0 : monotonicNs, /*wake=*/false);
}

void InputDelivery::CloseSysex() {
  // A record of no bytes, which no message makes: the input thread ends the open sysex there.
  Push(nullptr, 0, -1);
}

bool InputDelivery::CloseSysexAt(int64_t monotonicNs) {
  return Push(nullptr, 0, monotonicNs < 0 ? 0 : monotonicNs);
}

int64_t InputDelivery::NowNs() {
  return MonotonicNs();
}

// `monotonicNs` < 0: stamped now.
bool InputDelivery::Push(const uint8_t* bytes, size_t n, int64_t monotonicNs, bool wake) {
  // seq_cst, with the seq_cst pair in Reset: either Reset sees this producer inside, or this
  // producer sees input stopped. No message slips in after Reset looked.
  producing_.fetch_add(1, std::memory_order_seq_cst);
  if (started_.load(std::memory_order_seq_cst)) {
    uint32_t stamp = 0;
    if (monotonicNs < 0) {
      stamp = ElapsedMs();
    } else {
      // relaxed: published by the seq_cst store of started_ seen above. A message stamped
      // before the start (read after it) counts as 0.
      const int64_t since = monotonicNs - startNs_.load(std::memory_order_relaxed);
      stamp = static_cast<uint32_t>(static_cast<uint64_t>(std::max<int64_t>(since, 0)) / 1000000u);
    }
    const bool queued = queue_.Push(stamp, bytes, n);
    producing_.fetch_sub(1, std::memory_order_release);  // release: the push is done
    if (wake) Wake();
    return queued;
  }
  producing_.fetch_sub(1, std::memory_order_release);
  return false;
}

void InputDelivery::StartInput() {
  startNs_.store(MonotonicNs(), std::memory_order_relaxed);  // published by the store below
  // seq_cst (a release at least): a producer that sees input started also sees the new start
  // time; seq_cst for the pairing with Receive described there.
  started_.store(true, std::memory_order_seq_cst);
}

void InputDelivery::StopInput() {
  started_.store(false, std::memory_order_seq_cst);
}

void InputDelivery::Reset() {
  started_.store(false, std::memory_order_seq_cst);
  // seq_cst: pairs with Receive; once no producer is inside, none will push again.
  while (producing_.load(std::memory_order_seq_cst) != 0) std::this_thread::yield();
  if (!thread_.joinable()) {
    // No input thread (never launched, or shut down): nothing else can be calling back.
    ResetOnInputThread();
    return;
  }
  if (thread_.get_id() == std::this_thread::get_id()) {
    // Called from inside the callback, in the middle of a message: only the buffer can be
    // handed back here; the parser is busy with the message.
    if (CurrentBuffer() != nullptr) ReturnBuffer(MIM_LONGDATA, ElapsedMs());
    return;
  }
  const uint32_t ticket = resetRequested_.fetch_add(1, std::memory_order_acq_rel) + 1;
  Wake();
  for (;;) {
    // acquire: pairs with the release in Run; the buffer has come back through the callback.
    const uint32_t done = resetDone_.load(std::memory_order_acquire);
    if (static_cast<int32_t>(done - ticket) >= 0) return;
    resetDone_.wait(done, std::memory_order_acquire);
  }
}

MidiResult InputDelivery::AddBuffer(ReceiveHeader* header) {
  header->bytesRecorded.store(0, std::memory_order_relaxed);
  header->flags.fetch_or(kHeaderInQueue, std::memory_order_relaxed);
  header->flags.fetch_and(~kHeaderDone, std::memory_order_relaxed);
  ReceiveHeader* expected = nullptr;
  // release: the header's fields are set before the input thread can take it (pairs with
  // the acquire in CurrentBuffer).
  if (!queued_.compare_exchange_strong(expected, header, std::memory_order_release,
                                       std::memory_order_relaxed)) {
    // Another buffer is queued; the caller's header goes back to how it was.
    header->flags.fetch_and(~kHeaderInQueue, std::memory_order_relaxed);
    return kStillPlaying;
  }
  return kNoError;
}

void InputDelivery::Run() {
  for (;;) {
    // acquire: pairs with the release in Wake; messages and requests made before are seen.
    const uint32_t seen = wake_.load(std::memory_order_acquire);
    // What is still queued at the end is dropped: once the port is closing nothing may call
    // back with input any more.
    if (quit_.load(std::memory_order_acquire)) {
      // The port is closing: the tap gets every loss seen until now.
      if (tapInUse_ != nullptr) {
        LookForLosses();
        if (lossWaiting_) WriteLosses();
      }
      return;
    }
    holdBack_ = true;
    TakeReceived();
    holdBack_ = false;
    const uint32_t requested = resetRequested_.load(std::memory_order_acquire);
    if (requested != resetDone_.load(std::memory_order_relaxed)) {
      ResetOnInputThread();
      resetDone_.store(requested, std::memory_order_release);  // release: pairs with Reset
      resetDone_.notify_all();
    }
    FollowTap();
    Sleep(seen);
  }
}

// With a tap, the losses go into it where the input thread sees them, in order with the
// messages: a message the raw queue had no room for is counted by the producer, and the MIDI
// system's reports (SystemLosses) by the sources' threads, so the input thread looks at those
// counts before it takes each message. What it finds there was lost after every message still
// queued at that moment had arrived (the queue was full, or the report came after them), so it is
// written once those messages are taken, with the time it was seen. Sysex bytes that find no
// buffer are dropped on this thread, and written as they are (StoreSysex). A loss reported while
// no message comes is seen with the next one, when the tap is handed over, or when the port
// closes.
void InputDelivery::TakeReceived() {
  uint32_t timeStamp = 0;
  size_t n = 0;
  // acquire: pairs with the release in Shutdown (a flag only; it orders nothing else).
  while (!quit_.load(std::memory_order_acquire)) {
    FollowTap();
    if (tapInUse_ != nullptr) LookForLosses();
    if (!queue_.Pop(timeStamp, message_.get(), n)) break;
    taken_ += RawMessageQueue::kHeaderSize + n;
    if (n == 0) {
      // CloseSysex's mark: the sender went away. Recorded, so that a replay cuts there too.
      if (tapInUse_ != nullptr) {
        CaptureEvent event;
        event.kind = CaptureKind::kCut;
        event.ns = startNs_.load(std::memory_order_relaxed) + int64_t{timeStamp} * 1000000;
        tapInUse_->Lost(event);
      }
      Sink sink(*this, timeStamp);
      parser_.EndSysex(sink);
      if (lossWaiting_ && taken_ >= lossCut_) WriteLosses();
      continue;
    }
    // The arrival time as stamped: the start plus the milliseconds, so that a replay stamps
    // the same. (relaxed: the start time was published with started_, which the producer of
    // this message saw before its push, and the pop acquires the push.)
    if (tapInUse_ != nullptr) {
      // relaxed: as below.
      const int64_t start = startNs_.load(std::memory_order_relaxed);
      if (start != tapStartTold_) {
        tapInUse_->InputStarted(start);
        tapStartTold_ = start;
      }
      tapInUse_->Delivered(startNs_.load(std::memory_order_relaxed) + int64_t{timeStamp} * 1000000,
                           message_.get(), n);
    }
    Sink sink(*this, timeStamp);
    parser_.Feed(message_.get(), n, sink);
    // release: what the callback did with the message happens before a producer that sees
    // the count looks (pairs with the acquire in Delivered). One writer: this thread.
    delivered_.store(delivered_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    if (lossWaiting_ && taken_ >= lossCut_) WriteLosses();
  }
}

void InputDelivery::SetTap(CaptureTap* tap) {
  // release: the tap (and what the window thread pushed into it) is seen by the input thread
  // with the request below (pairs with the acquire in FollowTap).
  tap_.store(tap, std::memory_order_release);
  // acq_rel: the store above goes out with the request; one ticket for each caller.
  const uint32_t ticket = tapAsked_.fetch_add(1, std::memory_order_acq_rel) + 1;
  if (!thread_.joinable()) {
    FollowTap();  // no input thread: this thread is the only one that delivers
    return;
  }
  Wake();
  for (;;) {
    // acquire: pairs with the release in FollowTap; the input thread is done with the old tap.
    const uint32_t taken = tapTaken_.load(std::memory_order_acquire);
    if (static_cast<int32_t>(taken - ticket) >= 0) return;
    tapTaken_.wait(taken, std::memory_order_acquire);
  }
}

void InputDelivery::FollowTap() {
  // acquire: pairs with the release in SetTap.
  const uint32_t asked = tapAsked_.load(std::memory_order_acquire);
  // relaxed: written by this thread only (or by the window thread while none runs).
  if (asked == tapTaken_.load(std::memory_order_relaxed)) return;
  if (tapInUse_ != nullptr) {
    // The old tap gets every loss seen until now, queued messages or not.
    LookForLosses();
    if (lossWaiting_) WriteLosses();
  }
  tapInUse_ = tap_.load(std::memory_order_acquire);  // acquire: see SetTap
  tapStartTold_ = -1;          // the new tap is told the start before its first message
  lossesSeen_ = ReadLosses();  // the new tap counts from here
  lossWaiting_ = false;
  tapTaken_.store(asked, std::memory_order_release);  // release: pairs with SetTap's acquire
  tapTaken_.notify_all();
}

InputDelivery::LossCounts InputDelivery::ReadLosses() const {
  LossCounts counts;
  counts.dropped = queue_.Dropped();
  if (losses_ != nullptr) {
    for (size_t i = 0; i < kSystemLossKinds; ++i) {
      const LossTally tally = losses_->Read(static_cast<SystemLoss>(i));
      counts.events[i] = tally.events;
      counts.uncounted[i] = tally.uncounted;
    }
  }
  return counts;
}

void InputDelivery::LookForLosses() {
  // One wait at a time: what comes meanwhile is seen once it is written.
  if (lossWaiting_) return;
  const LossCounts now = ReadLosses();
  if (now == lossesSeen_) return;
  lossesBefore_ = lossesSeen_;
  lossesSeen_ = now;
  lossWaiting_ = true;
  const uint64_t queued = queue_.Used();
  lossCut_ = taken_ + queued;
  lossNs_ = SeenNs();
  if (queued == 0) WriteLosses();
}

void InputDelivery::WriteLosses() {
  lossWaiting_ = false;
  CaptureEvent event;
  event.ns = lossNs_;
  if (lossesSeen_.dropped != lossesBefore_.dropped) {
    event.kind = CaptureKind::kDropMessages;
    event.count = lossesSeen_.dropped - lossesBefore_.dropped;
    tapInUse_->Lost(event);
  }
  event.kind = CaptureKind::kLoss;
  for (size_t i = 0; i < kSystemLossKinds; ++i) {
    event.loss = static_cast<SystemLoss>(i);
    event.counted = true;
    event.count = lossesSeen_.events[i] - lossesBefore_.events[i];
    if (event.count != 0) tapInUse_->Lost(event);
    // One line for each report without a count (an xrun, an overrun): each is an occurrence.
    event.counted = false;
    event.count = 0;
    for (uint64_t k = lossesBefore_.uncounted[i]; k != lossesSeen_.uncounted[i]; ++k) {
      tapInUse_->Lost(event);
    }
  }
}

// On the grid of the messages' stamps (the start plus whole milliseconds), so that a loss seen
// after a message is never stamped before it.
int64_t InputDelivery::SeenNs() const {
  return startNs_.load(std::memory_order_relaxed) + int64_t{ElapsedMs()} * 1000000;
}

void InputDelivery::ResetOnInputThread() {
  // Everything received before the reset is delivered first, in order.
  TakeReceived();
  // A sysex message in progress ends here; its bytes so far come back in the buffer.
  parser_.Reset();
  if (CurrentBuffer() != nullptr) ReturnBuffer(MIM_LONGDATA, ElapsedMs());
}

void InputDelivery::Call(uint32_t kind, uintptr_t param1, uint32_t timeStamp) {
  const bool nested = inCallback_;
  if (holdBack_ && !nested) HoldBack();
  inCallback_ = true;
  callback_(handle_, kind, instance_, param1, timeStamp);
  inCallback_ = nested;
}

bool InputDelivery::Interrupted() const {
  // acquire, each: flags only; what they stand for is read after Run's own acquire loads.
  return quit_.load(std::memory_order_acquire) || resetRequested_.load(std::memory_order_acquire) !=
                                                      resetDone_.load(std::memory_order_relaxed);
}

void InputDelivery::HoldBack() {
  // acquire: pairs with the release in SetGate; the gate object is complete.
  const DeliveryGate* gate = gate_.load(std::memory_order_acquire);
  if (gate == nullptr) return;
  if (gate->HasRoom()) {
    gaveUpWaiting_ = false;
    return;
  }
  if (gaveUpWaiting_ || Interrupted()) return;
  heldBack_.fetch_add(1, std::memory_order_relaxed);  // a count only
  // relaxed: published by the release store of the gate, which we loaded with acquire.
  const std::chrono::milliseconds limit(holdBackLimitMs_.load(std::memory_order_relaxed));
  const auto deadline = std::chrono::steady_clock::now() + limit;
  do {
    // The window thread is waiting for a reset, or the port is closing: deliver (or stop) now.
    if (Interrupted()) return;
    // The raw queue absorbs a burst up to half its size; past that, or past the limit, the
    // consumer is too slow or stopped draining, and waiting longer would only move the loss
    // to the producer's side.
    if (queue_.Used() >= RawMessageQueue::kCapacity / 2 ||
        std::chrono::steady_clock::now() >= deadline) {
      gaveUp_.fetch_add(1, std::memory_order_relaxed);  // a count only
      gaveUpWaiting_ = true;
      return;
    }
    std::this_thread::sleep_for(kHoldBackStep);
  } while (!gate->HasRoom());
}

ReceiveHeader* InputDelivery::CurrentBuffer() {
  // acquire: pairs with the release in AddBuffer; the header's fields are visible.
  ReceiveHeader* queued = queued_.load(std::memory_order_acquire);
  if (queued != filling_) {
    filling_ = queued;
    filled_ = 0;
  }
  return filling_;
}

void InputDelivery::ReturnBuffer(uint32_t kind, uint32_t timeStamp) {
  ReceiveHeader* header = filling_;
  header->bytesRecorded.store(filled_, std::memory_order_relaxed);
  header->flags.fetch_and(~kHeaderInQueue, std::memory_order_relaxed);
  header->flags.fetch_or(kHeaderDone, std::memory_order_relaxed);
  filling_ = nullptr;
  filled_ = 0;
  // release: the count and flags are set before anyone who sees the buffer unqueued looks.
  queued_.store(nullptr, std::memory_order_release);
  Call(kind, reinterpret_cast<uintptr_t>(header), timeStamp);
}

void InputDelivery::StoreSysex(const uint8_t* bytes, size_t n, bool ends, uint32_t timeStamp) {
  size_t at = 0;
  while (at < n) {
    ReceiveHeader* header = CurrentBuffer();
    if (header == nullptr) {
      sysexDropped_.fetch_add(n - at, std::memory_order_relaxed);  // a count only
      WriteSysexDrop(n - at, timeStamp);
      return;
    }
    uint8_t* data = header->data.load(std::memory_order_relaxed);
    const uint32_t length = header->bufferLength.load(std::memory_order_relaxed);
    if (data == nullptr || length == 0) {
      // Checked when it was queued; a header changed since is not written to.
      sysexDropped_.fetch_add(n - at, std::memory_order_relaxed);
      WriteSysexDrop(n - at, timeStamp);
      return;
    }
    if (filled_ >= length) {
      ReturnBuffer(MIM_LONGDATA, timeStamp);
      continue;
    }
    const size_t take = std::min<size_t>(length - filled_, n - at);
    std::memcpy(data + filled_, bytes + at, take);
    filled_ += static_cast<uint32_t>(take);
    at += take;
    if (filled_ == length || (ends && at == n)) ReturnBuffer(MIM_LONGDATA, timeStamp);
  }
}

void InputDelivery::WriteSysexDrop(size_t bytes, uint32_t timeStamp) {
  if (tapInUse_ == nullptr) return;
  CaptureEvent event;
  event.kind = CaptureKind::kDropSysexBytes;
  // The time of the message the bytes came with (relaxed: see TakeReceived).
  event.ns = startNs_.load(std::memory_order_relaxed) + int64_t{timeStamp} * 1000000;
  event.count = bytes;
  tapInUse_->Lost(event);
}

}  // namespace tessaly
