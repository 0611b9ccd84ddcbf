#include "capture/input_delivery.h"

#include <system_error>

#include "capture/input_clock.h"
#include "capture/midi_constants.h"

namespace tessaly {

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
    if (delivery_.buffer_.Current() != nullptr) delivery_.ReturnBuffer(MIM_LONGERROR, timeStamp_);
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
  wake_.Wake();
  thread_.join();
}

uint32_t InputDelivery::ElapsedMs() const {
  return StampMs(MonotonicNs(), startNs_.load(std::memory_order_relaxed));  // relaxed: a reading
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
      stamp = StampMs(monotonicNs, startNs_.load(std::memory_order_relaxed));
    }
    const bool queued = queue_.Push(stamp, bytes, n);
    producing_.fetch_sub(1, std::memory_order_release);  // release: the push is done
    if (wake) wake_.Wake();
    return queued;
  }
  producing_.fetch_sub(1, std::memory_order_release);  // release: as above
  return false;
}

void InputDelivery::StartInput() {
  startNs_.store(MonotonicNs(), std::memory_order_relaxed);  // published by the store below
  // seq_cst (a release at least): a producer that sees input started also sees the new start
  // time; seq_cst for the pairing with Receive described there.
  started_.store(true, std::memory_order_seq_cst);
}

void InputDelivery::StopInput() {
  started_.store(false, std::memory_order_seq_cst);  // seq_cst: as in StartInput
}

void InputDelivery::Reset() {
  started_.store(false, std::memory_order_seq_cst);  // seq_cst: the pair with Push (see below)
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
    if (buffer_.Current() != nullptr) ReturnBuffer(MIM_LONGDATA, ElapsedMs());
    return;
  }
  // acq_rel: one ticket for each caller; the request goes out with the wake below.
  const uint32_t ticket = resetRequested_.fetch_add(1, std::memory_order_acq_rel) + 1;
  wake_.Wake();
  for (;;) {
    // acquire: pairs with the release in Run; the buffer has come back through the callback.
    const uint32_t done = resetDone_.load(std::memory_order_acquire);
    if (static_cast<int32_t>(done - ticket) >= 0) return;
    resetDone_.wait(done, std::memory_order_acquire);
  }
}

void InputDelivery::Run() {
  for (;;) {
    const uint32_t seen = wake_.Seen();
    // What is still queued at the end is dropped: once the port is closing nothing may call
    // back with input any more.
    if (quit_.load(std::memory_order_acquire)) {
      // The port is closing: the tap gets every loss seen until now.
      if (tapFeed_.Active()) tapFeed_.Flush();
      return;
    }
    holding_ = true;
    TakeReceived();
    holding_ = false;
    // acquire: pairs with the acq_rel in Reset; relaxed: resetDone_ is this thread's own.
    const uint32_t requested = resetRequested_.load(std::memory_order_acquire);
    if (requested != resetDone_.load(std::memory_order_relaxed)) {
      ResetOnInputThread();
      resetDone_.store(requested, std::memory_order_release);  // release: pairs with Reset
      resetDone_.notify_all();
    }
    tapFeed_.Follow();
    wake_.Sleep(seen);
  }
}

void InputDelivery::TakeReceived() {
  uint32_t timeStamp = 0;
  size_t n = 0;
  // acquire: pairs with the release in Shutdown (a flag only; it orders nothing else).
  while (!quit_.load(std::memory_order_acquire)) {
    tapFeed_.Follow();
    if (tapFeed_.Active()) tapFeed_.LookForLosses();
    if (!queue_.Pop(timeStamp, message_.get(), n)) break;
    tapFeed_.Took(RawMessageQueue::kHeaderSize + n);
    Sink sink(*this, timeStamp);
    if (n == 0) {
      // CloseSysex's mark: the sender went away. Recorded, so that a replay cuts there too.
      if (tapFeed_.Active()) tapFeed_.Cut(timeStamp);
      parser_.EndSysex(sink);
      tapFeed_.AfterRecord();
      continue;
    }
    if (tapFeed_.Active()) tapFeed_.Message(timeStamp, message_.get(), n);
    parser_.Feed(message_.get(), n, sink);
    // release: what the callback did with the message happens before a producer that sees
    // the count looks (pairs with the acquire in Delivered). One writer: this thread.
    delivered_.store(delivered_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    tapFeed_.AfterRecord();
  }
}

void InputDelivery::SetTap(CaptureTap* tap) {
  const uint32_t ticket = tapFeed_.Ask(tap);
  if (!thread_.joinable()) {
    tapFeed_.Follow();  // no input thread: this thread is the only one that delivers
    return;
  }
  wake_.Wake();
  tapFeed_.WaitTaken(ticket);
}

void InputDelivery::ResetOnInputThread() {
  // Everything received before the reset is delivered first, in order.
  TakeReceived();
  // A sysex message in progress ends here; its bytes so far come back in the buffer.
  parser_.Reset();
  if (buffer_.Current() != nullptr) ReturnBuffer(MIM_LONGDATA, ElapsedMs());
}

void InputDelivery::Call(uint32_t kind, uintptr_t param1, uint32_t timeStamp) {
  const bool nested = inCallback_;
  if (holding_ && !nested) holdBack_.Wait(queue_, [this] { return Interrupted(); });
  inCallback_ = true;
  callback_(handle_, kind, instance_, param1, timeStamp);
  inCallback_ = nested;
}

bool InputDelivery::Interrupted() const {
  // acquire, each: flags only; what they stand for is read after Run's own acquire loads.
  return quit_.load(std::memory_order_acquire) || resetRequested_.load(std::memory_order_acquire) !=
                                                      resetDone_.load(std::memory_order_relaxed);
}

void InputDelivery::ReturnBuffer(uint32_t kind, uint32_t timeStamp) {
  Call(kind, reinterpret_cast<uintptr_t>(buffer_.Return()), timeStamp);
}

void InputDelivery::StoreSysex(const uint8_t* bytes, size_t n, bool ends, uint32_t timeStamp) {
  size_t at = 0;
  while (at < n) {
    if (!buffer_.Writable()) {
      DropSysex(n - at, timeStamp);
      return;
    }
    if (buffer_.Full()) {
      ReturnBuffer(MIM_LONGDATA, timeStamp);
      continue;
    }
    at += buffer_.Fill(bytes + at, n - at);
    if (buffer_.Full() || (ends && at == n)) ReturnBuffer(MIM_LONGDATA, timeStamp);
  }
}

void InputDelivery::DropSysex(size_t bytes, uint32_t timeStamp) {
  sysexDropped_.fetch_add(bytes, std::memory_order_relaxed);  // a count only
  tapFeed_.SysexDropped(timeStamp, bytes);
}

}  // namespace tessaly
