// Keeps ALSA's own error printing off standard error.
#pragma once

namespace hv {

// ALSA's library prints its errors on standard error by itself ("ALSA lib confmisc.c:855:
// (parse_card) cannot find card '0'" and seven more lines on a machine without a sound card)
// when SDL opens the sound output through it. The host says in its log that the output could
// not be opened, so these prints are switched off. Call before SDL's audio starts: ALSA is
// loaded here under the name SDL loads it by and stays loaded, so SDL gets the same library
// with the quiet handler in place. Does nothing where ALSA is not installed. Idempotent.
void SilenceAlsaErrors();

}  // namespace hv
