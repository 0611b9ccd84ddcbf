#include "display/sysex_decoder.h"

namespace tessaly {

SysexDecoder::SysexDecoder(OutputList& sysexList) { (void)sysexList; }

void SysexDecoder::DrainSysexQueue(SysexQ& queue, std::atomic<uint32_t>& stopRequest) {
  ReadSysexQ(
      queue, [this](const uint8_t* bytes, size_t n) { Consume(bytes, n); },
      [&stopRequest] { stopRequest.store(1, std::memory_order_relaxed); });
}

void SysexDecoder::Consume(const uint8_t*, size_t) {}

}  // namespace tessaly
