// What a recording's channel does to the tape's two tones, learned from a
// leader, and the filter that undoes it.
//
// A leader's marker bytes 0x55 alternate a short and a long cycle: a
// periodic signal of known shape (a period of three short cycles) whose
// harmonics all carry energy. Heard through a channel, each harmonic comes
// back scaled and turned; their ratios to the ideal shape are the channel at
// those frequencies. A head out of azimuth (a notch near the short cycles'
// tone), a worn head or a cheap deck (a steep low-pass) leave the crossings
// where no zero-crossing decoder can read them; the inverse of that
// channel, as a short filter, puts them back.
#pragma once

#include <cstddef>
#include <vector>

namespace morlevix {

struct ChannelVerdict {
    enum Kind {
        unclear,    // the stretch was not clearly a leader: change nothing
        flat,       // near enough to the ideal: no filter is needed
        distorted,  // `taps` undo the channel
    } kind = unclear;
    // An odd number of taps, centred on the middle one.
    std::vector<float> taps;
};

// Measures the channel on `count` samples of a leader whose period (a short
// and a long cycle) is `period` samples, and gives the filter of
// `2 * half_span + 1` taps that undoes it.
ChannelVerdict judge_channel(const float* samples, std::size_t count, double period, std::size_t half_span);

}  // namespace morlevix
