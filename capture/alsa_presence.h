#pragma once

// Whether the ALSA sequencer can be opened on this machine (a kernel without ALSA has no
// /dev/snd/seq). Asked before RtMidi is, because RtMidi's ALSA constructor prints to standard
// error and throws when the sequencer is missing. Window thread.
namespace tessaly {

bool AlsaSequencerAvailable();

}  // namespace tessaly
