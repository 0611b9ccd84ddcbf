#include "display/system_loss_lines.h"

#include <string>

namespace tessaly {
namespace {

// What the user reads for each kind; the counts follow.
const char* Label(SystemLoss kind) {
  switch (kind) {
    case SystemLoss::kJackReadFailed:
      return "JACK input: a read failed, events lost: ";
    case SystemLoss::kJackLostEvents:
      return "JACK input: the server lost events: ";
    case SystemLoss::kJackXrun:
      return "JACK xrun: the server missed a cycle, input may be lost: ";
    case SystemLoss::kAlsaOverrun:
      return "ALSA input overrun: the kernel flushed the input FIFO, events lost: ";
  }
  return "MIDI system loss: ";
}

}  // namespace

void SystemLossLines::Append(const SystemLosses& losses, OutputList& list) {
  for (size_t i = 0; i < kSystemLossKinds; ++i) {
    const auto kind = static_cast<SystemLoss>(i);
    const LossTally now = losses.Read(kind);
    LossTally& seen = seen_[i];
    const uint64_t times = now.occurrences - seen.occurrences;
    const uint64_t events = now.events - seen.events;
    const uint64_t uncounted = now.uncounted - seen.uncounted;
    seen = now;
    if (times == 0 && events == 0 && uncounted == 0) continue;
    std::string line = Label(kind);
    if (kind == SystemLoss::kJackXrun) {
      line += std::to_string(times) + (times == 1 ? " xrun" : " xruns");
    } else {
      if (events > 0 || uncounted == 0) line += std::to_string(events);
      if (uncounted > 0) line += events > 0 ? " and more, count unknown" : "count unknown";
      if (times > 1) line += " (" + std::to_string(times) + " times)";
    }
    list.AppendLine(line);
  }
}

}  // namespace tessaly
