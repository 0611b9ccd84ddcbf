#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "capture/sysex_queue.h"
#include "display/line_builder.h"
#include "display/output_list.h"

// System-exclusive decoding: reassembles the bytes of SysexQ into whole messages (only F7
// ends one) and decodes the command set of the manufacturer 0x09 device family into lines of
// SysexList. Window thread only: the driver thread touches nothing here but the queue.
namespace tessaly {

inline constexpr int kSysexAssemblySize = 8192;
inline constexpr int kTextStreamLineSize = static_cast<int>(kMaxBuiltLine) + 1;
inline constexpr int kScanValuesSize = 256;

// Appended once for each place where the queue dropped bytes.
inline constexpr std::string_view kSysexOverflowLine = "SysexQ overflow shutting down";

// Everything the decoder keeps between messages and drains; zero at start.
struct SysexDecoderState {
  // The message being assembled. Never cleared: a message overwrites it from position 0 and
  // the positions past its F7 keep what earlier messages left (fields read there see them).
  uint8_t sysexAssembly[kSysexAssemblySize] = {};
  // Bytes of the current message so far, its F7 not counted; at most 8191, so that the F7
  // always has a place.
  int32_t assemblyLength = 0;
  // Bytes of the current message that did not fit into the assembly.
  uint64_t bytesNotStored = 0;
  // After a queue overflow: bytes are skipped up to the next F0, since what follows the gap is
  // the tail of a torn message.
  bool resynchronising = false;
  // The text line growing from TextChar messages, across messages and drains, up to an LF.
  char textStreamLine[kTextStreamLineSize] = {};
  int32_t textStreamLength = 0;
  // The data values of the latest scan dump (the first 256 of a longer one).
  int32_t scanValues[kScanValuesSize] = {};
};

class SysexDecoder {
 public:
  explicit SysexDecoder(OutputList& sysexList);
  SysexDecoder(const SysexDecoder&) = delete;
  SysexDecoder& operator=(const SysexDecoder&) = delete;

  // The sysex section of a drain: assembles and decodes everything in the queue, bytes that
  // arrive meanwhile included. On an overflow of the queue it reports it once, drops the torn
  // message, resynchronises on the next F0 and sets stopRequest.
  void DrainSysexQueue(SysexQ& queue, std::atomic<uint32_t>& stopRequest);

  // Assembles and decodes bytes as they come out of the queue.
  void Consume(const uint8_t* bytes, size_t n);

  // Decodes the message in the assembly, its F7 at position assemblyLength.
  void DecodeSysexMessage();

  const SysexDecoderState& state() const { return state_; }

 private:
  // A place where bytes were dropped from the queue.
  void Overflow();
  // Stores bytes of the current message (no F7 among them) as far as the assembly holds them.
  void Store(const uint8_t* bytes, size_t n);
  // The F7: decodes, then starts the next message.
  void EndMessage();

  // The rules of the commands that do more than show a fixed line.
  void TextChar();
  void TextString(int length);
  void ScanDump(int length);
  void EepromPeekRequest();
  void EepromPeekAcknowledge(int length);
  void EepromPokeRequest(int length);
  void EepromPokeAcknowledge();
  void Parameter(int length, bool parameter44);
  void Default(uint32_t sysexNumber);

  OutputList& sysexList_;
  LineBuilder line_;
  SysexDecoderState state_;
};

}  // namespace tessaly
