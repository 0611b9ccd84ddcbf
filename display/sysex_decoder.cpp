#include "display/sysex_decoder.h"

#include <cstring>

#include "capture/midi_constants.h"

namespace tessaly {

SysexDecoder::SysexDecoder(OutputList& sysexList) : sysexList_(sysexList), line_(sysexList) {}

void SysexDecoder::DrainSysexQueue(SysexQ& queue, std::atomic<uint32_t>& stopRequest) {
  ReadSysexQ(
      queue, [this](const uint8_t* bytes, size_t n) { Consume(bytes, n); },
      [this, &stopRequest] {
        Overflow();
        // relaxed: a plain request flag; the callback acts on it at its next buffer and no
        // other data is published with it.
        stopRequest.store(1, std::memory_order_relaxed);
      });
}

void SysexDecoder::Overflow() {
  sysexList_.AppendLine(kSysexOverflowLine);
  state_.assemblyLength = 0;
  state_.bytesNotStored = 0;
  state_.resynchronising = true;
}

void SysexDecoder::Consume(const uint8_t* bytes, size_t n) {
  while (n > 0) {
    if (state_.resynchronising) {
      const auto* start = static_cast<const uint8_t*>(std::memchr(bytes, kSysexStart, n));
      if (start == nullptr) return;
      n -= static_cast<size_t>(start - bytes);
      bytes = start;
      state_.resynchronising = false;
    }
    // Only F7 ends a message: F0 and status bytes before it are stored like payload, so a
    // message whose F7 was lost goes on with the bytes of the next one.
    const auto* end = static_cast<const uint8_t*>(std::memchr(bytes, kSysexEnd, n));
    if (end == nullptr) {
      Store(bytes, n);
      return;
    }
    const auto before = static_cast<size_t>(end - bytes);
    Store(bytes, before);
    EndMessage();
    bytes = end + 1;
    n -= before + 1;
  }
}

void SysexDecoder::Store(const uint8_t* bytes, size_t n) {
  // One place is always kept for the F7.
  const size_t room = static_cast<size_t>(kSysexAssemblySize - 1 - state_.assemblyLength);
  const size_t stored = n < room ? n : room;
  std::memcpy(state_.sysexAssembly + state_.assemblyLength, bytes, stored);
  state_.assemblyLength += static_cast<int32_t>(stored);
  state_.bytesNotStored += n - stored;
}

void SysexDecoder::EndMessage() {
  state_.sysexAssembly[state_.assemblyLength] = kSysexEnd;
  DecodeSysexMessage();
  if (state_.bytesNotStored != 0) {
    line_.Format("sysex message too long, bytes not shown: %llu",
                 static_cast<unsigned long long>(state_.bytesNotStored));
    line_.Finish();
  }
  state_.assemblyLength = 0;
  state_.bytesNotStored = 0;
}

}  // namespace tessaly
