#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "capture/capture_state.h"
#include "display/filter_set.h"
#include "display/output_list.h"
#include "display/status_statistics.h"

// The event section of a drain: takes every event from EventRing and turns it into a
// time-stamped line of BasicMessageList (channel messages) or MessageBoxList (driver errors,
// suspect packets, buffer releases, lost events). Window thread only.
namespace tessaly {

inline constexpr size_t kPrefixSize = 128;
inline constexpr std::string_view kReleaseLinePrefix = "sysex Unprepare header function ";

class EventLines {
 public:
  // " Time.D..HH:MM:SS.mmm- WWWWWW ": `relative` ms and the raw message word. Returns the
  // length written into `out` (kPrefixSize bytes).
  static size_t FormatTimeStampPrefix(char* out, uint32_t relative, uint32_t message);
  // The channel-message text that follows the prefix; empty for a status below 0x80. Returns
  // the length written into `out` (kPrefixSize bytes).
  static size_t FormatChannelMessage(char* out, uint32_t message);

  void DrainEvents(CaptureState& state, const FilterSet& filters, StatusStatistics& statistics,
                   OutputList& basicMessageList, OutputList& messageBoxList);

  // "Clear Midi Message Window": the next event taken becomes time zero.
  void RequestTimeBaseRestart() { restartTimeBase_ = true; }
  // Input (re)started: the service's clock starts from zero again, so timeBase does too (a
  // pending RequestTimeBaseRestart still takes the next event's time).
  void ZeroTimeBase() { timeBase_ = 0; }

  uint32_t timeBase() const { return timeBase_; }
  bool restartTimeBase() const { return restartTimeBase_; }
  uint32_t errorCount() const { return errorCount_; }
  bool errorSeen() const { return errorSeen_; }

 private:
  void ShowEvent(const EventRecord& event, CaptureState& state, const FilterSet& filters,
                 StatusStatistics& statistics, OutputList& basicMessageList,
                 OutputList& messageBoxList);

  uint32_t timeBase_ = 0;
  bool restartTimeBase_ = false;
  bool errorSeen_ = false;
  uint32_t errorCount_ = 0;
};

}  // namespace tessaly
