#pragma once

#include <cstddef>
#include <cstdint>

// Classifies the raw bytes that a MIDI system hands over (one "message" per call, as the
// sources deliver them) into what the input callback reports: well-formed short messages, malformed
// input, and runs of system-exclusive bytes for the receive buffer.
//
// Rules, byte by byte:
// - Realtime bytes (F8, FA, FB, FC, FE, FF) are short messages wherever they stand, also in
//   the middle of another message, which goes on around them. The undefined F9 and FD are
//   malformed.
// - A status byte 80-EF, F1, F2, F3 or F6 starts a short message of its length (F6: at once).
//   A message cut short by another status byte or by the end of the delivered message is
//   malformed (its bytes so far, packed). Running status is not accepted: JACK and the ALSA
//   sequencer always deliver complete messages, so a data byte without a status byte of its
//   own is malformed (one report per run of such bytes, its first three bytes packed).
// - The undefined F4 and F5 are malformed.
// - F0 starts a system-exclusive message; its data bytes follow in runs (split only by
//   realtime bytes) until F7, which ends the run and the message. A sysex message may continue
//   over several delivered messages. Any status byte other than realtime interrupts it.
// - An F7 with no message open is a one-byte system-exclusive message of its own: the end
//   byte goes where end bytes go, and the decoder shows it like any other.
//
// Pure and single-threaded; the service's input thread owns one per open port.
namespace tessaly {

class MidiStreamSink {
 public:
  virtual ~MidiStreamSink() = default;
  // A well-formed short message, packed: status in bits 0-7, data bytes above.
  virtual void ShortMessage(uint32_t message) = 0;
  // Malformed input, packed the same way (up to its first three bytes).
  virtual void Malformed(uint32_t message) = 0;
  // Bytes of a system-exclusive message, F0 and F7 included where they stand; `ends` when the
  // run ends with the message's F7. Points into the caller's bytes.
  virtual void SysexBytes(const uint8_t* bytes, size_t n, bool ends) = 0;
  // The system-exclusive message in progress was cut off by a status byte.
  virtual void SysexInterrupted() = 0;
};

class MidiStreamParser {
 public:
  // Feeds one delivered message. A short message still short of data at its end is
  // reported as malformed; an open sysex message stays open for the next call.
  void Feed(const uint8_t* bytes, size_t n, MidiStreamSink& sink);
  // The sender of an open system-exclusive message went away: it ends cut short (reported
  // as interrupted). Nothing happens when none is open.
  void EndSysex(MidiStreamSink& sink) {
    if (state_ == State::kSysex) EndPending(sink);
  }
  // Forgets any message in progress (input restarted).
  void Reset();

  bool InSysex() const { return state_ == State::kSysex; }

 private:
  enum class State { kIdle, kShort, kStray, kSysex };

  void EndPending(MidiStreamSink& sink);
  void AddPacked(uint8_t byte);

  State state_ = State::kIdle;
  uint32_t packed_ = 0;  // bytes of the pending short message or stray run, packed
  int packedCount_ = 0;  // bytes in packed_ (at most 3 kept)
  int needed_ = 0;       // data bytes the pending short message still needs
};

// Data bytes that follow `status` in a short message; -1 for F0, F7 and undefined bytes.
int ShortMessageDataLength(uint8_t status);

}  // namespace tessaly
