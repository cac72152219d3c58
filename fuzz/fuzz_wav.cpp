// The WAV reader on arbitrary bytes, with both read rules (disk file and
// memory block). A sound it accepts must describe its own data consistently.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "audio/wav_reader.h"

using tmx::audio::parse_wav;
using tmx::audio::WavError;
using tmx::audio::WavSound;
using tmx::audio::WavSource;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (bool memory : {false, true}) {
    WavSound sound;
    const WavError e = parse_wav(WavSource{data, size, memory}, sound);
    if (e != WavError::kNone) {
      if (!sound.data.empty()) std::abort();  // a refused file leaves nothing behind
      continue;
    }
    const auto& f = sound.format;
    if (f.channels < 1 || f.channels > 2 || f.block_align <= 0 || f.sample_rate == 0) std::abort();
    if (sound.data.size() > size) std::abort();
    (void)tmx::audio::wav_error_text(e);
  }
  return 0;
}
