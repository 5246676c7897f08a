// The channel judged from a leader: left alone when it is flat or when the
// stretch is no leader, and undone when it takes the short cycles away.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "recordings.h"
#include "tape/decoder/leader_equalizer.h"

namespace morlevix {
namespace {

// A leader at 14,700 samples a second, as the decoder processes our WAVs:
// a short cycle of 6 samples and a long one of 12, over and over.
testing::Recording leader(std::size_t periods)
{
    testing::Recording r;
    r.rate = 14700;
    constexpr int kHalves[] = {3, 3, 6, 6};
    for (std::size_t p = 0; p < periods; ++p)
        for (int h = 0; h < 4; ++h) r.samples.insert(r.samples.end(), kHalves[h], h % 2 == 0 ? 0.5 : -0.5);
    return r;
}

constexpr double kPeriod = 18;
constexpr std::size_t kHalfSpan = 26;

ChannelVerdict judge(const testing::Recording& r)
{
    std::vector<float> samples(r.samples.begin(), r.samples.end());
    return judge_channel(samples.data(), samples.size(), kPeriod, kHalfSpan);
}

// The strength of harmonic `k` of the period, over the last periods.
double harmonic(const std::vector<double>& s, int k)
{
    std::complex<double> sum = 0;
    const std::size_t from = s.size() - 16 * 18;
    for (std::size_t n = from; n < s.size(); ++n)
        sum += s[n] * std::exp(std::complex<double>(0, -2 * 3.14159265358979323846 * k * static_cast<double>(n) / kPeriod));
    return std::abs(sum);
}

TEST(LeaderEqualizer, FlatChannelsAndStretchesThatAreNoLeaderAreLeftAlone)
{
    EXPECT_EQ(judge(leader(20)).kind, ChannelVerdict::flat);
    EXPECT_EQ(judge(testing::inverted(leader(20))).kind, ChannelVerdict::flat);
    EXPECT_EQ(judge(testing::low_passed(leader(20), 4000)).kind, ChannelVerdict::flat);
    testing::Recording silence = leader(20);
    std::fill(silence.samples.begin(), silence.samples.end(), 0.0);
    EXPECT_EQ(judge(testing::with_hiss(testing::with_offset(silence, 0.5), 0, 3)).kind, ChannelVerdict::unclear);
    EXPECT_EQ(judge(silence).kind, ChannelVerdict::unclear);
}

TEST(LeaderEqualizer, ASteepLowPassOrAnAzimuthNotchIsUndone)
{
    for (const auto& heard : {testing::low_passed(testing::low_passed(leader(40), 1500), 1500),
                              testing::inverted(testing::with_azimuth_error(leader(40), 200e-6))}) {
        const ChannelVerdict verdict = judge(heard);
        ASSERT_EQ(verdict.kind, ChannelVerdict::distorted);
        ASSERT_EQ(verdict.taps.size(), 2 * kHalfSpan + 1);
        std::vector<double> undone(heard.samples.size(), 0.0);
        for (std::size_t n = verdict.taps.size(); n < heard.samples.size(); ++n)
            for (std::size_t k = 0; k < verdict.taps.size(); ++k) undone[n - kHalfSpan] += verdict.taps[k] * heard.samples[n - k];
        // The short cycles' tone (the third harmonic), all but taken away,
        // comes back at least halfway to where it stands in the ideal
        // leader, never beyond (the lift is held back where hiss would be
        // all it brought).
        const auto ratio = [](const std::vector<double>& s) { return harmonic(s, 3) / harmonic(s, 1); };
        const double ideal = ratio(leader(40).samples);
        EXPECT_LT(ratio(heard.samples), 0.25 * ideal);
        EXPECT_GT(ratio(undone), 0.45 * ideal);
        EXPECT_LT(ratio(undone), 1.1 * ideal);
    }
}

}  // namespace
}  // namespace morlevix
