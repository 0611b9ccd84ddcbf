#include "display/event_lines.h"

#include <cinttypes>
#include <cstdio>

#include "capture/midi_constants.h"
#include "display/line_builder.h"
#include "display/number_text.h"

namespace tessaly {
namespace {

// Bounds one drain's work, so that a source flooding the ring cannot hold the window thread;
// what is left is taken by the next drain.
constexpr uint64_t kMaxEventsPerDrain = uint64_t{1} << 16;

// Ends the text that runs from `out` to `end` with a terminator; returns its length.
size_t Terminated(char* out, char* end) {
  *end = '\0';
  return static_cast<size_t>(end - out);
}

}  // namespace

size_t EventLines::FormatTimeStampPrefix(char* out, uint32_t relative, uint32_t message) {
  // " Time.%01u..%02u:%02u:%02u.%03u- %06X ": at most 31 characters (2-digit days, 8-digit
  // word), well inside kPrefixSize.
  const uint32_t days = relative / 86400000u;
  const uint32_t hours = (relative % 86400000u) / 3600000u;
  const uint32_t minutes = (relative % 3600000u) / 60000u;
  const uint32_t seconds = (relative % 60000u) / 1000u;
  const uint32_t millis = relative % 1000u;
  // In three calls: one fold of all thirteen fields measured slower in the drain benchmark.
  char* at = PutFields(out, " Time.", Decimal{days, 1}, "..", Decimal{hours, 2}, ':');
  at = PutFields(at, Decimal{minutes, 2}, ':', Decimal{seconds, 2}, '.', Decimal{millis, 3});
  at = PutFields(at, "- ", Hex{message, 6}, ' ');
  *at = '\0';
  return static_cast<size_t>(at - out);
}

size_t EventLines::FormatChannelMessage(char* out, uint32_t message) {
  // The texts of "Chan %02u ... # %03u ,Vel %03u ," and its kin, field for field; channel is
  // 1-16 and the data bytes 0-255, so every text has its fixed length (at most 45).
  const unsigned status = message & 0xFF;
  const Decimal channel{(status & 0x0F) + 1, 2};
  const Decimal data1{(message >> 8) & 0xFF, 3};
  const Decimal data2{(message >> 16) & 0xFF, 3};
  switch (status >> 4) {
    case 0x8:
      return Terminated(out, PutFields(out, "Chan ", channel, " NOTE_OFF       # ", data1, " ,Vel ",
                                       data2, " ,"));
    case 0x9:
      return Terminated(out, PutFields(out, "Chan ", channel, " NOTE_ON        # ", data1, " ,Vel ",
                                       data2, " , "));
    case 0xA:
      return Terminated(out, PutFields(out, "Chan ", channel, " KEY_PRESS     # ", data1,
                                       " ,value ", data2, " ,"));
    case 0xB:
      return Terminated(out, PutFields(out, "Chan ", channel, " CNTL_CHNG    # ", data1, " ,value ",
                                       data2, " ,"));
    case 0xC:
      return Terminated(out, PutFields(out, "Chan ", channel, " PROG_CHNG   # ", data1, " "));
    case 0xD:
      return Terminated(out, PutFields(out, "Chan ", channel, " CHN_PRESS    value ", data1, " ,"));
    case 0xE:
      return Terminated(out, PutFields(out, "Chan ", channel, " PITCH_BEND   value ", data1, ","));
    case 0xF:
      return Terminated(out, PutFields(out, "         SYSEX DATA  bougus here"));
    default:  // below 0x80: no text
      return Terminated(out, out);
  }
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
    // release: the slots below are copied. Every 64 events the read index goes out, so the
    // callback's fill check and a service that holds back on a full ring see the room a long
    // drain makes while it makes it, not only when the drain ends.
    if ((read & 63) == 0) ring.readIndex.store(read, std::memory_order_release);
    ShowEvent(event, state, filters, statistics, basicMessageList, messageBoxList);
  }
  // release: every slot below is copied; the writer and the fill checks may count it free.
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
  // The prefix and, for a channel message, its text go into one buffer: an event line is at most
  // 31 + 45 characters, so it is appended as it stands.
  char line[2 * kPrefixSize];
  const size_t prefixLength = FormatTimeStampPrefix(line, relative, event.message);
  const std::string_view prefixText(line, prefixLength);

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
      const size_t textLength = FormatChannelMessage(line + prefixLength, event.message);
      basicMessageList.AppendLine(std::string_view(line, prefixLength + textLength));
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
