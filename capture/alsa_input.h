#pragma once

#include <memory>

#include "capture/input_delivery.h"
#include "capture/midi_result.h"
#include "capture/port_backend.h"

// ALSA sequencer input of our own (RtMidi's read the kernel's -ENOSPC as a passing error on
// standard error and lost a flushed input FIFO without a word). A client "Tessaly" with one
// input port, subscribed from the source with our own queue and real-time stamps, so an event
// read late in a burst keeps the time the kernel received it; the input pool is raised to the
// kernel's maximum. A reader thread of its own blocks in poll and reads every pending event
// at each wake-up, handing its bytes to the InputDelivery (no allocation per event: sysex
// chunks go straight from alsa-lib's input buffer); while events come, it lets them gather
// for a few milliseconds between reads, so that a stream costs one wake-up per gathering, not
// one per event. A flushed FIFO is reported as a loss of
// the MIDI system (the kernel gives no count for it). The System Announce port tells the
// thread when the source goes away: Health answers kSourceGone from then on, and a sysex
// message it left open ends cut short (MIM_LONGERROR).
namespace tessaly {

// `client`/`port`: the source; client < 0 for our virtual port "Tessaly MIDI In", which other
// programs connect to. Sets `opened` on success; once it is destroyed, the reader thread has
// ended and never calls the delivery again.
MidiResult OpenAlsaInput(int client, int port, InputDelivery& delivery,
                         std::unique_ptr<InputSource>& opened);

}  // namespace tessaly
