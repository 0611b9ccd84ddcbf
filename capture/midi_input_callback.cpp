#include "capture/midi_input_callback.h"

#include <algorithm>

#include "capture/capture_state.h"
#include "capture/midi_constants.h"
#include "capture/queue_marks.h"

namespace tessaly {
namespace {

// Releases the returned receive buffer and records the release in the slot.
void ReleaseBuffer(CaptureState& state, MidiInHandle handle, ReceiveHeader& header,
                   EventSlot& slot) {
  const MidiResult result = state.service.UnprepareHeader(handle, &header, kReceiveHeaderSize);
  char text[kStatusTextSize];
  state.service.GetErrorText(result, text, sizeof text);
  text[kStatusTextSize - 1] = '\0';
  for (size_t i = 0; i < kStatusTextSize; ++i) {
    StoreField(slot.statusText[i], text[i]);
    if (text[i] == '\0') break;
  }
  StoreField(slot.released, 1);
  // Only a buffer that really came free ends the request; a failed unprepare leaves it set,
  // so the buffer is released when it comes back next.
  if (result == kNoError) state.stopRequest.store(0, std::memory_order_relaxed);  // a flag only
}

// A receive buffer came back (long data or long error): copy its bytes, then queue it again,
// or release it when a stop was requested.
void HandleReturnedBuffer(CaptureState& state, MidiInHandle handle, uint32_t kind,
                          ReceiveHeader& header, EventSlot& slot) {
  const bool keepBytes = kind == MIM_LONGDATA;
  // Never trust the service's count beyond the buffer we lent it.
  const uint32_t recorded =
      std::min({header.bytesRecorded.load(std::memory_order_relaxed),
                header.bufferLength.load(std::memory_order_relaxed), kReceiveBufferReserve});
  uint32_t copied = 0;
  // relaxed: stopRequest is a plain request flag; the buffer itself is handed over by the
  // service's own calls, not through this flag.
  if (state.stopRequest.load(std::memory_order_relaxed) == 0) {
    if (keepBytes) {
      state.statusCounters.Add(kCountBuffersReceived);
      WriteSysexQ(state.sysexQ, state.receiveBuffer, recorded);
      copied = recorded;
    }
    header.flags.store(0, std::memory_order_relaxed);
    header.data.store(state.receiveBuffer, std::memory_order_relaxed);
    state.service.PrepareHeader(handle, &header, kReceiveHeaderSize);
    const MidiResult queued = state.service.AddBuffer(handle, &header, kReceiveHeaderSize);
    // A stop requested meanwhile (a port change on the window thread) is served when this
    // buffer comes back: at the reset that follows the request, or at its next return. Once
    // queued, the buffer is the service's: unpreparing it now could only fail ("still in the
    // queue") and would report a release that never happened. Only a buffer that could not
    // be queued again is released at once.
    if (queued == kNoError || state.stopRequest.load(std::memory_order_relaxed) == 0) return;
  }
  state.statusCounters.Add(kCountBuffersReleased);
  if (keepBytes) WriteSysexQ(state.sysexQ, state.receiveBuffer + copied, recorded - copied);
  ReleaseBuffer(state, handle, header, slot);
}

}  // namespace

void MidiInputCallback(MidiInHandle handle, uint32_t kind, uintptr_t instance, uintptr_t param1,
                       uintptr_t param2) {
  if (instance == 0) return;
  CaptureState& state = *reinterpret_cast<CaptureState*>(instance);
  uint64_t index = 0;
  EventSlot& slot = BeginEvent(state.eventRing, index);
  StoreField(slot.timeStamp, param2);
  StoreField(slot.message, param1);
  StoreField(slot.kind, kind);
  StoreField(slot.released, 0);
  state.statusCounters.Add(kCountCallbacks);
  // Only our own header is touched: a buffer return that names any other address is recorded
  // and otherwise left alone.
  if ((kind == MIM_LONGDATA || kind == MIM_LONGERROR) &&
      param1 == reinterpret_cast<uintptr_t>(&state.receiveHeader)) {
    HandleReturnedBuffer(state, handle, kind, state.receiveHeader, slot);
  }
  PublishEvent(state.eventRing, slot, index);
  // relaxed: the fill check is a heuristic; a stale read index only makes it signal late by
  // an event or early by a drain.
  const uint64_t unreadEvents =
      index + 1 - state.eventRing.readIndex.load(std::memory_order_relaxed);
  const uint64_t unreadBytes = state.sysexQ.writeIndex.load(std::memory_order_relaxed) -
                               state.sysexQ.readIndex.load(std::memory_order_relaxed);
  if (unreadEvents >= kEventRingFillMark || unreadBytes >= kSysexQFillMark) {
    state.drainWake.Signal();
  }
}

}  // namespace tessaly
