#include "leader_equalizer.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace morlevix {
namespace {

using Complex = std::complex<double>;

constexpr double kPi = 3.14159265358979323846;

// The harmonics of the leader's period that are measured and put right: up
// to the fourth (about 3.3 kHz), past the short cycles' tone (the third).
constexpr int kHarmonics = 4;
// The ones that decide whether the channel needs undoing: the long cycles'
// neighbours and the short cycles' tone.
constexpr int kJudgedHarmonics = 3;
// One leader period, in short cycles, and the ideal signal over it: a short
// cycle (half up, half down) then a long one, each starting upwards.
constexpr double kPeriodInShortCycles = 3;
struct Stretch {
    double from, to, level;
};
constexpr Stretch kLeaderPeriod[] = {{0, 0.5, 1}, {0.5, 1, -1}, {1, 2, 1}, {2, 3, -1}};
// A stretch is a leader when at least this part of its energy lies in the
// period's harmonics (hiss, hum and music spread theirs elsewhere).
constexpr double kLeaderPurity = 0.6;
// A channel whose judged harmonics all lie this near the ideal (relative to
// the first) needs no filter.
constexpr double kFlatEnough = 0.45;
// How far the inverse may lift a harmonic the channel took away: to about
// 1 / (2 sqrt(kRegularisation)), so that a tone lost altogether does not
// bring back only hiss.
constexpr double kRegularisation = 0.002;

// The ideal leader's k-th harmonic over one period, starting at its start.
Complex ideal_harmonic(int k)
{
    const double w = 2 * kPi * k / kPeriodInShortCycles;
    Complex sum = 0;
    for (const auto& s : kLeaderPeriod)
        sum += s.level * (std::exp(Complex(0, -w * s.to)) - std::exp(Complex(0, -w * s.from))) / Complex(0, -w);
    return sum / kPeriodInShortCycles;
}

// How unevenly a channel's response runs from harmonic to harmonic.
double roughness(const Complex* response, int count)
{
    double sum = 0;
    for (int k = 1; k < count; ++k) sum += std::norm(response[k] - response[k - 1]);
    return sum;
}

}  // namespace

ChannelVerdict judge_channel(const float* samples, std::size_t count, double period, std::size_t half_span)
{
    ChannelVerdict verdict;
    // Whole periods only, so that the harmonics do not leak into each other.
    const double periods = std::floor(static_cast<double>(count) / period);
    const auto length = static_cast<std::size_t>(std::lround(periods * period));
    const int harmonics = std::min(kHarmonics, static_cast<int>(std::ceil(period / 2)) - 1);
    if (periods < 1 || harmonics < kJudgedHarmonics) return verdict;
    const float* start = samples + (count - length);

    double mean = 0;
    for (std::size_t n = 0; n < length; ++n) mean += start[n];
    mean /= static_cast<double>(length);
    double energy = 0;
    for (std::size_t n = 0; n < length; ++n) energy += (start[n] - mean) * (start[n] - mean);
    // Every harmonic below the Nyquist frequency, for the purity.
    const int all = static_cast<int>(std::ceil(period / 2)) - 1;
    std::vector<Complex> heard(static_cast<std::size_t>(all) + 1);
    double periodic = 0;
    for (int k = 1; k <= all; ++k) {
        const Complex turn = std::exp(Complex(0, -2 * kPi * k / period));
        Complex phase = 1, sum = 0;
        for (std::size_t n = 0; n < length; ++n, phase *= turn) sum += static_cast<double>(start[n]) * phase;
        heard[static_cast<std::size_t>(k)] = sum;
        periodic += 2 * std::norm(sum) / static_cast<double>(length);
    }
    if (energy <= 0 || periodic < kLeaderPurity * energy) return verdict;

    // The channel at each harmonic, with its gain and delay taken out (the
    // first harmonic comes back as 1): as the signal is heard, and as it
    // would be heard upside down. A real channel runs smoothly from
    // harmonic to harmonic; the wrong polarity flips every other one.
    Complex upright[kHarmonics], inverted[kHarmonics];
    for (int k = 1; k <= harmonics; ++k) upright[k - 1] = heard[static_cast<std::size_t>(k)] / ideal_harmonic(k);
    const Complex first = upright[0];
    if (std::abs(first) == 0) return verdict;
    const Complex turn_back = std::conj(first) / std::abs(first);
    Complex undo = 1;
    for (int k = 0; k < harmonics; ++k) {
        undo *= turn_back;
        upright[k] = upright[k] * undo / std::abs(first);
        inverted[k] = k % 2 == 0 ? upright[k] : -upright[k];
    }
    const Complex* response = roughness(inverted, harmonics) < roughness(upright, harmonics) ? inverted : upright;

    double distortion = 0;
    for (int k = 1; k < kJudgedHarmonics; ++k) distortion = std::max(distortion, std::abs(response[k] - 1.0));
    if (distortion < kFlatEnough) {
        verdict.kind = ChannelVerdict::flat;
        return verdict;
    }

    // The inverse at each harmonic, and the filter one period long whose
    // response it is: over a leader, the taps repeat with the period.
    Complex inverse[kHarmonics];
    for (int k = 0; k < harmonics; ++k) inverse[k] = std::conj(response[k]) / (std::norm(response[k]) + kRegularisation);
    verdict.kind = ChannelVerdict::distorted;
    verdict.taps.assign(2 * half_span + 1, 0.0f);
    for (std::size_t i = 0; i < verdict.taps.size(); ++i) {
        const double n = static_cast<double>(i) - static_cast<double>(half_span);
        // A raised cosine two periods long: the filter's response at each
        // harmonic is still the inverse there, and runs smoothly between.
        if (std::fabs(n) >= period) continue;
        const double window = std::pow(std::cos(kPi * n / (2 * period)), 2);
        double tap = 0;
        for (int k = 0; k < harmonics; ++k) tap += 2 * std::real(inverse[k] * std::exp(Complex(0, 2 * kPi * (k + 1) * n / period)));
        verdict.taps[i] = static_cast<float>(window * tap / period);
    }
    return verdict;
}

}  // namespace morlevix
