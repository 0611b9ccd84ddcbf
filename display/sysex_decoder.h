#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "capture/sysex_queue.h"
#include "display/output_list.h"

// System-exclusive decoding: reassembles the bytes of SysexQ into whole messages (only F7
// ends one) and decodes the command set of the manufacturer 0x09 device family into lines of
// SysexList. Window thread only.
namespace tessaly {

class SysexDecoder {
 public:
  explicit SysexDecoder(OutputList& sysexList);

  // The sysex section of a drain: assembles and decodes everything in the queue, bytes that
  // arrive meanwhile included. On an overflow of the queue it reports it, resynchronises and
  // sets stopRequest.
  void DrainSysexQueue(SysexQ& queue, std::atomic<uint32_t>& stopRequest);

  // Assembles and decodes bytes as they come out of the queue.
  void Consume(const uint8_t* bytes, size_t n);
};

}  // namespace tessaly
