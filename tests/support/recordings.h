// Recordings for the decoder's tests: our own WAV signal of a tape image,
// then put through what real tapes and sound cards do to it (level,
// clipping, DC, polarity, band limits, hiss, speed, wow and flutter,
// resampling), and written as WAV files of any sample format and layout.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tape_builder.h"

namespace morlevix::testing {

// One channel of sound, values around 0, at `rate` samples per second.
struct Recording {
    double rate = 44100;
    std::vector<double> samples;
};

// Our own WAV file for `image`.
Bytes wav_of(const Bytes& image);
// The signal of our own WAV for `image`, as values from -1 to 1.
Recording recording_of(const Bytes& image);
// The samples of our own WAV file, as values from -1 to 1.
Recording recording_of_wav(const Bytes& wav_file);

Recording with_gain(Recording r, double decibels);
// Driven `decibels` into a hard limit at full scale.
Recording clipped(Recording r, double decibels);
Recording with_offset(Recording r, double offset);
Recording inverted(Recording r);
// Second-order Butterworth filters, and the first-order high-pass of an
// AC-coupled input.
Recording low_passed(Recording r, double cutoff);
Recording high_passed(Recording r, double cutoff);
Recording ac_coupled(Recording r, double cutoff);
// White noise over the whole band, `snr` decibels below the power of the
// signal where there is signal. The same seed gives the same noise.
Recording with_hiss(Recording r, double snr, std::uint32_t seed);
// The tape played back at `speed` times its speed (1.04: 4 % fast), with
// an optional wobble of `wow_depth` (0.02: +-2 %) at `wow_rate` Hz and of
// `flutter_depth` at `flutter_rate` Hz, and sampled at `rate`. Band-limited.
Recording played(const Recording& r, double rate, double speed = 1.0, double wow_depth = 0, double wow_rate = 0,
                 double flutter_depth = 0, double flutter_rate = 0);
Recording resampled(const Recording& r, double rate);
// Silence in place of the signal from `from` to `to` seconds.
Recording with_dropout(Recording r, double from, double to);
// Damage as decks and recorders do it, from `from` to `to` seconds:
// - loud noise over the signal, `decibels` above its level;
Recording with_noise_burst(Recording r, double from, double to, double decibels, std::uint32_t seed);
// - that stretch of tape cut out (the recording goes on from `to` at `from`);
Recording spliced(Recording r, double from, double to);
// - the recording stopped at `at`.
Recording stopped_at(Recording r, double at);

// What recordings made as people make them add to that:
// - a tape running from `start_speed` to `end_speed`, evenly, along its length;
Recording played_drifting(const Recording& r, double start_speed, double end_speed);
// - the two tracks of a stereo head out of azimuth summed: the signal and a
//   copy `delay` seconds late (a notch at 1 / (2 delay));
Recording with_azimuth_error(Recording r, double delay);
// - mains hum at `frequency` and its third harmonic, `decibels` above the
//   signal's own level (0: as loud as the signal);
Recording with_hum(Recording r, double frequency, double decibels);
// - `per_second` clicks, single samples up to twice full scale, anywhere;
Recording with_clicks(Recording r, double per_second, std::uint32_t seed);
// - a dip of `decibels` lasting `seconds`, every `every` seconds (oxide
//   missing from the tape);
Recording with_dips(Recording r, double decibels, double seconds, double every);
// - the automatic level control of a phone or a dictaphone: quick to turn
//   the level down, slow to bring it back up, so the start of each block
//   after a silence comes loud and its leader pumps;
Recording with_level_control(Recording r);
// - a room: the sound from a loudspeaker with its reflections (a
//   reverberation of `seconds` to fall 60 dB), band-limited to 200-5,000 Hz
//   as a phone's microphone hears it.
Recording in_a_room(Recording r, double seconds);
// - a bare room: the same reflections, as loud in all as the sound itself,
//   and the level brought back under full scale. The echoes of a burst of
//   short cycles then land loud on the long ones 30 to 45 ms later.
Recording in_a_bare_room(Recording r, double seconds);

enum class SampleFormat { pcm8, pcm16, pcm24, pcm32, float32, float64, mu_law, a_law, ima_adpcm, ms_adpcm };

struct WavLayout {
    SampleFormat format = SampleFormat::pcm16;
    bool extensible = false;
    std::size_t adpcm_block = 512;
};

// A WAV file of the channels (all of the same rate and length). The
// compressed formats are encoded here as their recorders do: G.711 from
// 16-bit samples, ADPCM in blocks of `adpcm_block` bytes per channel.
Bytes wav_file(const std::vector<Recording>& channels, WavLayout layout = {});

}  // namespace morlevix::testing
