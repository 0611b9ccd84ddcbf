#include "capture/alsa_presence.h"

#include <alsa/asoundlib.h>

#include <cstdarg>
#include <mutex>

namespace tessaly {
namespace {

// alsa-lib prints its own errors ("open /dev/snd/seq failed") unless told otherwise; the
// service reports in its own words.
void SilentAlsa(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

bool AlsaSequencerAvailable() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(SilentAlsa); });
  snd_seq_t* seq = nullptr;
  if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, 0) < 0) return false;
  snd_seq_close(seq);
  return true;
}

}  // namespace tessaly
