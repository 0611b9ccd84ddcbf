#pragma once

#include "capture/system_losses.h"
#include "display/output_list.h"

// The MIDI system's own losses as lines of MessageBoxList: at each drain, one line for each
// kind of loss reported since the drain before, with its count, so that input the system
// dropped below the monitor is never missing without a word. Window thread.
namespace tessaly {

class SystemLossLines {
 public:
  // Appends a line to `list` for each kind in `losses` that grew since the last call.
  void Append(const SystemLosses& losses, OutputList& list);

 private:
  LossTally seen_[kSystemLossKinds];
};

}  // namespace tessaly
