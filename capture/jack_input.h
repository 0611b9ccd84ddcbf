#pragma once

#include <memory>
#include <string>

#include "capture/input_delivery.h"
#include "capture/midi_result.h"
#include "capture/port_backend.h"

// JACK MIDI input of our own, used for JACK ports instead of RtMidi's. RtMidi 5's JACK input
// ignores a failed jack_midi_event_get and hands the event before it over again: when a JACK
// cycle's buffer is cleared under a client that is late for it, the monitor would show copies
// of one event in place of the ones lost. Here the first failure ends the cycle's reading and
// the rest are counted as dropped messages; nothing is made up. The process callback copies
// each event into the InputDelivery's lock-free queue and does nothing else (no allocation,
// no lock). When the source port is disconnected or unregistered (libjack's notification
// thread sets a flag), the next cycle ends a sysex message it left open, as cut short.
// Window thread, but for the callbacks (JACK's process and notification threads).
namespace tessaly {

// Opens client "Tessaly" with one MIDI input port named `portName`, connected from the JACK
// output port `source` (its full name), or from nothing when `source` is empty: our virtual
// port, which other programs connect to. Sets `opened` on success; once it is destroyed, the
// process callback never runs again.
// True while one of our JACK inputs of a server that went away is still open. jackd's libjack
// crashes in that input's jack_client_close when another client was opened or closed since the
// server died, so nothing else opens or closes a client until it is closed. Window thread.
bool DeadJackInputOpen();

MidiResult OpenJackInput(const std::string& source, const char* portName, InputDelivery& delivery,
                         std::unique_ptr<InputSource>& opened);

}  // namespace tessaly
