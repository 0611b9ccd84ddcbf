#include "display/event_lines.h"

#include <cinttypes>
#include <cstdio>

#include "capture/midi_constants.h"
#include "display/line_builder.h"

namespace tessaly {
namespace {

// Bounds one drain's work, so that a source flooding the ring cannot hold the window thread;
// what is left is taken by the next drain.
constexpr uint64_t kMaxEventsPerDrain = uint64_t{1} << 16;

size_t Clamp(int n, size_t size) {
  if (n < 0) return 0;
  return static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
}

}  // namespace

size_t EventLines::FormatTimeStampPrefix(char* out, uint32_t relative, uint32_t message) {
  const uint32_t days = relative / 86400000u;
  const uint32_t hours = (relative % 86400000u) / 3600000u;
  const uint32_t minutes = (relative % 3600000u) / 60000u;
  const uint32_t seconds = (relative % 60000u) / 1000u;
  const uint32_t millis = relative % 1000u;
  return Clamp(std::snprintf(out, kPrefixSize, " Time.%01u..%02u:%02u:%02u.%03u- %06X ", days,
                             hours, minutes, seconds, millis, message),
               kPrefixSize);
}

size_t EventLines::FormatChannelMessage(char* out, uint32_t message) {
  const unsigned status = message & 0xFF;
  const unsigned channel = (status & 0x0F) + 1;
  const unsigned data1 = (message >> 8) & 0xFF;
  const unsigned data2 = (message >> 16) & 0xFF;
  int n = 0;
  switch (status >> 4) {
    case 0x8:
      n = std::snprintf(out, kPrefixSize, "Chan %02u NOTE_OFF       # %03u ,Vel %03u ,", channel,
                        data1, data2);
      break;
    case 0x9:
      n = std::snprintf(out, kPrefixSize, "Chan %02u NOTE_ON        # %03u ,Vel %03u , ", channel,
                        data1, data2);
      break;
    case 0xA:
      n = std::snprintf(out, kPrefixSize, "Chan %02u KEY_PRESS     # %03u ,value %03u ,", channel,
                        data1, data2);
      break;
    case 0xB:
      n = std::snprintf(out, kPrefixSize, "Chan %02u CNTL_CHNG    # %03u ,value %03u ,", channel,
                        data1, data2);
      break;
    case 0xC:
      n = std::snprintf(out, kPrefixSize, "Chan %02u PROG_CHNG   # %03u ", channel, data1);
      break;
    case 0xD:
      n = std::snprintf(out, kPrefixSize, "Chan %02u CHN_PRESS    value %03u ,", channel, data1);
      break;
    case 0xE:
      n = std::snprintf(out, kPrefixSize, "Chan %02u PITCH_BEND   value %03u,", channel, data1);
      break;
    case 0xF:
      n = std::snprintf(out, kPrefixSize, "         SYSEX DATA  bougus here");
      break;
    default:
      out[0] = '\0';
      break;
  }
  return Clamp(n, kPrefixSize);
}

void EventLines::DrainEvents(CaptureState& state, const FilterSet& filters,
                             StatusStatistics& statistics, OutputList& basicMessageList,
                             OutputList& messageBoxList) {
  EventRing& ring = state.eventRing;
  uint64_t read = ring.readIndex.load(std::memory_order_relaxed);  // our own index
  uint64_t lost = 0;
  EventRecord event;
  for (uint64_t taken = 0; taken < kMaxEventsPerDrain; ++taken) {
    // acquire: pairs with the release in PublishEvent; every slot below is complete (or has
    // been overwritten since, which its tag tells).
    const uint64_t write = ring.writeIndex.load(std::memory_order_acquire);
    if (read >= write) break;
    if (write - read > kEventRingSize) {
      // Lapped: the oldest unread events were overwritten. Skip to the oldest slot that can
      // still hold its own event.
      lost += write - kEventRingSize - read;
      read = write - kEventRingSize;
    }
    const uint64_t index = read++;
    if (!TakeEvent(ring, index, event)) {
      ++lost;  // overwritten while we looked
      continue;
    }
    ShowEvent(event, state, filters, statistics, basicMessageList, messageBoxList);
  }
  // Only the drain reads this index; it is kept in the ring for the reports and the tests.
  ring.readIndex.store(read, std::memory_order_release);
  if (lost > 0) {
    statistics.CountLost(state.statusCounters, lost);
    char line[96];
    std::snprintf(line, sizeof line, "EVENT RING OVERRUN %" PRIu64 " events lost", lost);
    messageBoxList.AppendLine(line);
  }
}

void EventLines::ShowEvent(const EventRecord& event, CaptureState& state, const FilterSet& filters,
                           StatusStatistics& statistics, OutputList& basicMessageList,
                           OutputList& messageBoxList) {
  uint32_t relative = 0;
  if (restartTimeBase_) {
    timeBase_ = event.timeStamp;
    restartTimeBase_ = false;
  } else {
    relative = event.timeStamp - timeBase_;  // unsigned: wraps when the clock went back
  }
  char prefix[kPrefixSize];
  const size_t prefixLength = FormatTimeStampPrefix(prefix, relative, event.message);
  const std::string_view prefixText(prefix, prefixLength);

  switch (event.kind) {
    case MIM_ERROR: {
      const uint32_t n = errorCount_;
      errorSeen_ = true;
      ++errorCount_;
      LineBuilder(messageBoxList)
          .Add(prefixText)
          .Format(" BAD BAD BAD BAD MIDI ERROR #%03u", n)
          .Finish();
      return;
    }
    case MIM_DATA: {
      const uint8_t status = event.message & 0xFF;
      if (errorSeen_) {
        errorSeen_ = false;
        LineBuilder(messageBoxList)
            .Add(prefixText)
            .Add(" SUSPECTED BAD Midi PACKET repeated below ")
            .Finish();
      } else {
        statistics.Count(state.statusCounters, status);
      }
      if (filters.Hides(event.message)) return;
      char text[kPrefixSize];
      const size_t textLength = FormatChannelMessage(text, event.message);
      LineBuilder(basicMessageList)
          .Add(prefixText)
          .Add(std::string_view(text, textLength))
          .Finish();
      return;
    }
    default:
      // A returned buffer shows only when the callback released it; its bytes are already in
      // SysexQ. Open, close, long error and more-data events show nothing.
      if (event.released) {
        LineBuilder(messageBoxList).Add(kReleaseLinePrefix).Add(event.statusText).Finish();
      }
      return;
  }
}

}  // namespace tessaly
