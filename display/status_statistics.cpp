#include "display/status_statistics.h"

#include "capture/midi_constants.h"
#include "display/line_builder.h"
#include "display/number_text.h"

namespace tessaly {

void StatusStatistics::ResetCheck(StatusCounters& counters) {
  if (drainCount_ == 0) {
    counters.Clear();
    statsDirty_ = 1;
  }
  ++drainCount_;
}

void StatusStatistics::CountLost(StatusCounters& counters, uint64_t lost) {
  if (lost == 0) return;
  counters.Add(kCountEventsLost, lost);
  ++statsDirty_;
}

void StatusStatistics::RedrawIfDirty(const StatusCounters& counters, OutputList& statisticsList) {
  if (statsDirty_ == 0) return;
  statisticsList.Clear();
  // A row is at most 23 + 16 * 22 characters, well inside one line: rows are never cut.
  LineBuilder row(statisticsList);
  for (int high = 0; high < 8; ++high) {
    row.Add(kStatisticsRowNames[high]);
    for (int low = 0; low < 16; ++low) {
      const uint64_t n = counters.Get(static_cast<uint8_t>(0x80 + high * 16 + low));
      if (n != 0) {
        // " %04llu ", without a printf call per cell: a full table has 128 of them.
        char cell[kMaxNumberDigits + 2];
        cell[0] = ' ';
        char* end = PutDecimal(cell + 1, n, 4);
        *end++ = ' ';
        row.Add(std::string_view(cell, static_cast<size_t>(end - cell)));
      } else {
        row.Add(" ____ ");
      }
    }
    row.Finish();
  }
  statsDirty_ = 0;
}

}  // namespace tessaly
