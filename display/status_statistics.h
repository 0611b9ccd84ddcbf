#pragma once

#include <cstdint>
#include <string_view>

#include "capture/capture_state.h"
#include "display/output_list.h"

// The statistics table: counts of short messages per status byte, one row per high nibble
// 8 to F, one cell per low nibble. Window thread only; the callback adds to the last row
// through StatusCounters.
namespace tessaly {

inline constexpr std::string_view kStatisticsRowNames[8] = {
    "CHN_NOTE_OFF       ", "CHN_NOTE_ON         ", "CHN_KEY_PRESS     ", "CHN_CNTL_CHNG    ",
    "CHN_PROG_CHNG   ",    "CHN_CHN_PRESS    ",    "CHN_PITCH_BEND   ",  "SYSEX DATA             ",
};

class StatusStatistics {
 public:
  // Start of every drain: the first drain after start or after a clear zeroes the counters.
  void ResetCheck(StatusCounters& counters);
  // A counted short message.
  void Count(StatusCounters& counters, uint8_t status) {
    counters.Add(status);
    ++statsDirty_;
  }
  // Events lost from the ring count in their own entry; the table shows them at once.
  void CountLost(StatusCounters& counters, uint64_t lost);
  // After the event section: redraws the table when anything was counted or zeroed.
  void RedrawIfDirty(const StatusCounters& counters, OutputList& statisticsList);
  // "Clear Statistics Window": takes effect at the next drain.
  void RequestClear() { drainCount_ = 0; }

  uint32_t statsDirty() const { return statsDirty_; }
  uint32_t drainCount() const { return drainCount_; }

 private:
  // A count, not a flag: every counted event adds 1, zeroing the counters sets it to 1, a
  // redraw sets it to 0; the table is redrawn when it is not 0.
  uint32_t statsDirty_ = 0;
  uint32_t drainCount_ = 0;
};

}  // namespace tessaly
