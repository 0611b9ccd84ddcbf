#include "shell/run_report.h"

namespace tessaly {

std::string ListReport(const OutputList& statistics, const OutputList* const (&lists)[4]) {
  std::string text;
  for (size_t i = 0; i < statistics.Count(); ++i) {
    text += "stats\t";
    text += statistics.Line(i);
    text += '\n';
  }
  for (const OutputList* list : lists) {
    text += "lines\t";
    text += list->Name();
    text += '\t';
    text += std::to_string(list->Count());
    text += '\n';
  }
  return text;
}

std::string ServiceReport(const InputDelivery::Counts& counts) {
  return "service\tmessages dropped " + std::to_string(counts.messagesDropped) +
         " sysex bytes dropped " + std::to_string(counts.sysexBytesDropped) + " held back " +
         std::to_string(counts.heldBack) + " gave up " + std::to_string(counts.gaveUp) +
         " system loss reports " + std::to_string(counts.lossReports) + " uncounted " +
         std::to_string(counts.lossesUncounted) + "\n";
}

}  // namespace tessaly
