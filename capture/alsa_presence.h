#pragma once

// Whether the ALSA sequencer can be opened on this machine (a kernel without ALSA has no
// /dev/snd/seq), asked quietly: alsa-lib prints its own errors otherwise. Window thread.
namespace tessaly {

bool AlsaSequencerAvailable();

}  // namespace tessaly
