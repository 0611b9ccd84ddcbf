#pragma once

#include <cstdint>

#include "capture/midi_input_service.h"

namespace tessaly {

// The input callback, registered with MidiInputService::Open with the process's CaptureState
// as instance value.
//
// Thread: the MIDI service's own thread (or the thread inside Reset that returns a buffer);
// the service never runs two calls at once. It must never lock, wait, allocate or format: it
// records one event slot, copies a returned receive buffer into SysexQ, and queues the buffer
// again or releases it when stopRequest asks. All text work is the drain's.
void MidiInputCallback(MidiInHandle handle, uint32_t kind, uintptr_t instance, uintptr_t param1,
                       uintptr_t param2);

}  // namespace tessaly
