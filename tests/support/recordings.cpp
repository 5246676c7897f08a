#include "recordings.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <sstream>

#include "signal_decoder.h"
#include "tape/encoder/tape_image_converter.h"
#include "tape/sound/wav_output.h"

namespace morlevix::testing {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kButterworthQ = 0.70710678118654752;
constexpr int kInterpolationZeros = 10;  // zero crossings of the sinc on each side

struct Biquad {
    double b0, b1, b2, a1, a2;
};

Recording filtered(Recording r, const Biquad& f)
{
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (auto& s : r.samples) {
        const double y = f.b0 * s + f.b1 * x1 + f.b2 * x2 - f.a1 * y1 - f.a2 * y2;
        x2 = x1;
        x1 = s;
        y2 = y1;
        y1 = y;
        s = y;
    }
    return r;
}

// The cookbook second-order sections, low-pass or high-pass.
Biquad butterworth(double cutoff, double rate, bool high)
{
    const double w0 = 2 * kPi * cutoff / rate;
    const double alpha = std::sin(w0) / (2 * kButterworthQ);
    const double c = std::cos(w0);
    const double a0 = 1 + alpha;
    const double b1 = high ? -(1 + c) : 1 - c;
    return {b1 / 2 / a0 * (high ? -1 : 1), b1 / a0, b1 / 2 / a0 * (high ? -1 : 1), -2 * c / a0, (1 - alpha) / a0};
}

// The windowed sinc for a cutoff (a fraction of the input rate), tabulated
// finely enough that interpolating the table costs nothing in accuracy.
class SincKernel {
public:
    explicit SincKernel(double cutoff) : cutoff_(cutoff), half_width_(kInterpolationZeros / cutoff)
    {
        const auto size = static_cast<std::size_t>(half_width_ * kStepsPerSample) + 2;
        for (std::size_t i = 0; i < size; ++i) table_.push_back(exact(static_cast<double>(i) / kStepsPerSample));
    }
    double half_width() const { return half_width_; }
    double operator()(double x) const
    {
        const double at = std::fabs(x) * kStepsPerSample;
        const auto i = static_cast<std::size_t>(at);
        if (i + 1 >= table_.size()) return 0;
        const double f = at - static_cast<double>(i);
        return table_[i] + f * (table_[i + 1] - table_[i]);
    }

private:
    static constexpr double kStepsPerSample = 512;
    double exact(double x) const
    {
        if (x >= half_width_) return 0;
        const double t = kPi * cutoff_ * x;
        const double sinc = t == 0 ? 1 : std::sin(t) / t;
        return cutoff_ * sinc * (0.5 + 0.5 * std::cos(kPi * x / half_width_));
    }
    double cutoff_;
    double half_width_;
    std::vector<double> table_;
};

void put(Bytes& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void put_tag(Bytes& out, const char* tag)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(tag[i]));
}

}  // namespace

Recording recording_of_wav(const Bytes& wav_file)
{
    Recording r;
    for (auto s : parse_wav(wav_file).samples) r.samples.push_back((s - 128) / 128.0);
    return r;
}

Bytes wav_of(const Bytes& image)
{
    std::istringstream tape(std::string(image.begin(), image.end()));
    MemorySink sink;
    WavWriter wav(sink);
    SilentReport silent;
    convert_tape_stream(tape, wav, silent);
    return sink.bytes();
}

Recording recording_of(const Bytes& image) { return recording_of_wav(wav_of(image)); }

Recording with_gain(Recording r, double decibels)
{
    const double gain = std::pow(10.0, decibels / 20);
    for (auto& s : r.samples) s *= gain;
    return r;
}

Recording clipped(Recording r, double decibels)
{
    r = with_gain(std::move(r), decibels);
    for (auto& s : r.samples) s = std::clamp(s, -1.0, 1.0);
    return r;
}

Recording with_offset(Recording r, double offset)
{
    for (auto& s : r.samples) s += offset;
    return r;
}

Recording inverted(Recording r)
{
    for (auto& s : r.samples) s = -s;
    return r;
}

Recording low_passed(Recording r, double cutoff) { return filtered(std::move(r), butterworth(cutoff, r.rate, false)); }
Recording high_passed(Recording r, double cutoff) { return filtered(std::move(r), butterworth(cutoff, r.rate, true)); }

Recording ac_coupled(Recording r, double cutoff)
{
    const double rc = 1 / (2 * kPi * cutoff);
    const double a = rc / (rc + 1 / r.rate);
    double x1 = 0, y = 0;
    for (auto& s : r.samples) {
        y = a * (y + s - x1);
        x1 = s;
        s = y;
    }
    return r;
}

namespace {

// The signal's level where there is signal: silences left out.
double rms_where_present(const Recording& r)
{
    constexpr double kPresent = 1e-3;
    double power = 0;
    std::size_t present = 0;
    for (auto s : r.samples)
        if (std::fabs(s) > kPresent) {
            power += s * s;
            ++present;
        }
    return std::sqrt(power / static_cast<double>(std::max<std::size_t>(present, 1)));
}

}  // namespace

Recording with_hiss(Recording r, double snr, std::uint32_t seed)
{
    const double sigma = rms_where_present(r) / std::pow(10.0, snr / 20);
    // Box-Muller on the generator's own numbers: the same noise everywhere.
    std::mt19937 generator(seed);
    const auto uniform = [&] { return (generator() + 0.5) / 4294967296.0; };
    for (std::size_t i = 0; i < r.samples.size(); i += 2) {
        const double radius = sigma * std::sqrt(-2 * std::log(uniform()));
        const double angle = 2 * kPi * uniform();
        r.samples[i] += radius * std::cos(angle);
        if (i + 1 < r.samples.size()) r.samples[i + 1] += radius * std::sin(angle);
    }
    return r;
}

Recording played(const Recording& r, double rate, double speed, double wow_depth, double wow_rate,
                 double flutter_depth, double flutter_rate)
{
    const double fastest = speed * (1 + wow_depth + flutter_depth);
    const SincKernel kernel(std::min(1.0, 0.95 * rate / (r.rate * fastest)));  // cutoff in input samples
    const double half_width = kernel.half_width();
    const auto input_time = [&](double t) {
        double tau = t;
        if (wow_rate > 0) tau += wow_depth * (1 - std::cos(2 * kPi * wow_rate * t)) / (2 * kPi * wow_rate);
        if (flutter_rate > 0) tau += flutter_depth * (1 - std::cos(2 * kPi * flutter_rate * t)) / (2 * kPi * flutter_rate);
        return speed * tau;
    };
    const double length = static_cast<double>(r.samples.size()) / r.rate;
    Recording out;
    out.rate = rate;
    for (std::size_t n = 0;; ++n) {
        const double at = input_time(static_cast<double>(n) / rate) * r.rate;
        if (at >= static_cast<double>(r.samples.size()) || at / r.rate > length) break;
        const auto first = static_cast<long>(std::ceil(at - half_width));
        const auto last = static_cast<long>(std::floor(at + half_width));
        double sum = 0;
        for (long k = std::max(first, 0L); k <= last && k < static_cast<long>(r.samples.size()); ++k)
            sum += r.samples[static_cast<std::size_t>(k)] * kernel(at - static_cast<double>(k));
        out.samples.push_back(sum);
    }
    return out;
}

Recording resampled(const Recording& r, double rate) { return played(r, rate); }

Recording played_drifting(const Recording& r, double start_speed, double end_speed)
{
    // The speed at input time u grows evenly from start to end over the
    // tape; output time t is the integral of 1 / speed.
    const double length = static_cast<double>(r.samples.size()) / r.rate;
    const SincKernel kernel(std::min(1.0, 0.95 / std::max(start_speed, end_speed)));
    const double half_width = kernel.half_width();
    Recording out;
    out.rate = r.rate;
    double u = 0;  // input seconds
    const double dt = 1 / r.rate;
    for (;;) {
        const double at = u * r.rate;
        if (at >= static_cast<double>(r.samples.size())) break;
        const auto first = static_cast<long>(std::ceil(at - half_width));
        const auto last = static_cast<long>(std::floor(at + half_width));
        double sum = 0;
        for (long k = std::max(first, 0L); k <= last && k < static_cast<long>(r.samples.size()); ++k)
            sum += r.samples[static_cast<std::size_t>(k)] * kernel(at - static_cast<double>(k));
        out.samples.push_back(sum);
        u += dt * (start_speed + (end_speed - start_speed) * u / length);
    }
    return out;
}

Recording with_azimuth_error(Recording r, double delay)
{
    // The late track at any delay, not only a whole number of samples.
    const SincKernel kernel(1.0);
    const double half_width = kernel.half_width();
    const double late = delay * r.rate;
    const std::vector<double> dry = r.samples;
    for (std::size_t i = 0; i < r.samples.size(); ++i) {
        const double at = static_cast<double>(i) - late;
        double copy = 0;
        for (auto k = static_cast<long>(std::ceil(at - half_width)); k <= static_cast<long>(std::floor(at + half_width)); ++k)
            if (k >= 0 && k < static_cast<long>(dry.size())) copy += dry[static_cast<std::size_t>(k)] * kernel(at - static_cast<double>(k));
        r.samples[i] = 0.5 * (dry[i] + copy);
    }
    return r;
}

Recording with_hum(Recording r, double frequency, double decibels)
{
    const double amplitude = rms_where_present(r) * std::sqrt(2.0) * std::pow(10.0, decibels / 20);
    for (std::size_t i = 0; i < r.samples.size(); ++i) {
        const double t = static_cast<double>(i) / r.rate;
        r.samples[i] += amplitude * (std::sin(2 * kPi * frequency * t) + 0.3 * std::sin(2 * kPi * 3 * frequency * t + 1));
    }
    return r;
}

Recording with_clicks(Recording r, double per_second, std::uint32_t seed)
{
    std::mt19937 generator(seed);
    const auto count = static_cast<std::size_t>(per_second * static_cast<double>(r.samples.size()) / r.rate);
    for (std::size_t c = 0; c < count; ++c) {
        const std::size_t at = generator() % r.samples.size();
        const double height = (generator() % 2 ? 1.0 : -1.0) * (1.0 + (generator() % 1000) / 1000.0);
        r.samples[at] += height;
        if (at + 1 < r.samples.size()) r.samples[at + 1] -= 0.5 * height;
    }
    return r;
}

Recording with_dips(Recording r, double decibels, double seconds, double every)
{
    const double depth = std::pow(10.0, decibels / 20);
    for (std::size_t i = 0; i < r.samples.size(); ++i) {
        const double t = std::fmod(static_cast<double>(i) / r.rate, every);
        // A smooth dip, as the oxide thins and comes back.
        if (t < seconds) r.samples[i] *= 1 - (1 - depth) * std::sin(kPi * t / seconds);
    }
    return r;
}

Recording with_level_control(Recording r)
{
    // The control aims at a level; it follows a louder signal within
    // milliseconds and a quieter one over seconds, up to 30 dB of gain.
    constexpr double kTarget = 0.3, kAttack = 0.005, kRelease = 1.5, kMostGain = 31.6;
    const double attack = 1 - std::exp(-1 / (kAttack * r.rate));
    const double release = 1 - std::exp(-1 / (kRelease * r.rate));
    double envelope = kTarget / kMostGain;
    for (auto& s : r.samples) {
        const double magnitude = std::fabs(s);
        envelope += (magnitude > envelope ? attack : release) * (magnitude - envelope);
        s *= std::min(kMostGain, kTarget / std::max(envelope, 1e-9));
        s = std::clamp(s, -1.0, 1.0);
    }
    return r;
}

namespace {

// Four feedback combs in parallel and two all-passes after them: the
// reflections of `dry` grow dense and fall by 60 dB in `seconds`.
std::vector<double> reflections(const std::vector<double>& dry, double rate, double seconds)
{
    const double comb_delays[] = {0.0297, 0.0371, 0.0411, 0.0437};
    const double allpass_delays[] = {0.005, 0.0017};
    std::vector<double> wet(dry.size(), 0.0);
    for (double delay : comb_delays) {
        const auto d = static_cast<std::size_t>(delay * rate);
        const double feedback = std::pow(10.0, -3 * delay / seconds);
        std::vector<double> line(dry.size(), 0.0);
        for (std::size_t i = 0; i < dry.size(); ++i) {
            line[i] = dry[i] + (i >= d ? feedback * line[i - d] : 0);
            wet[i] += 0.25 * line[i];
        }
    }
    for (double delay : allpass_delays) {
        const auto d = static_cast<std::size_t>(delay * rate);
        constexpr double kGain = 0.7;
        std::vector<double> out(wet.size(), 0.0);
        for (std::size_t i = 0; i < wet.size(); ++i)
            out[i] = -kGain * wet[i] + (i >= d ? wet[i - d] + kGain * out[i - d] : 0);
        wet = out;
    }
    return wet;
}

double energy_of(const std::vector<double>& samples)
{
    double sum = 0;
    for (double s : samples) sum += s * s;
    return sum;
}

}  // namespace

Recording in_a_room(Recording r, double seconds)
{
    const std::vector<double> wet = reflections(r.samples, r.rate, seconds);
    for (std::size_t i = 0; i < wet.size(); ++i) r.samples[i] = 0.6 * r.samples[i] + 0.4 * wet[i];
    return high_passed(low_passed(std::move(r), 5000), 200);
}

Recording in_a_bare_room(Recording r, double seconds)
{
    std::vector<double> wet = reflections(r.samples, r.rate, seconds);
    const double wet_gain = std::sqrt(energy_of(r.samples) / std::max(energy_of(wet), 1e-30));
    double peak = 0;
    for (std::size_t i = 0; i < wet.size(); ++i) {
        r.samples[i] = 0.6 * r.samples[i] + 0.4 * wet_gain * wet[i];
        peak = std::max(peak, std::fabs(r.samples[i]));
    }
    for (double& s : r.samples) s *= 0.9 / std::max(peak, 1e-30);  // the phone's level control
    return high_passed(low_passed(std::move(r), 5000), 200);
}

Recording with_dropout(Recording r, double from, double to)
{
    const auto start = static_cast<std::size_t>(from * r.rate);
    const auto end = std::min(r.samples.size(), static_cast<std::size_t>(to * r.rate));
    for (std::size_t i = start; i < end; ++i) r.samples[i] = 0;
    return r;
}

Recording with_noise_burst(Recording r, double from, double to, double decibels, std::uint32_t seed)
{
    const double sigma = rms_where_present(r) * std::pow(10.0, decibels / 20);
    std::mt19937 generator(seed);
    std::normal_distribution<double> noise(0.0, sigma);
    const auto start = std::min(r.samples.size(), static_cast<std::size_t>(from * r.rate));
    const auto end = std::min(r.samples.size(), static_cast<std::size_t>(to * r.rate));
    for (std::size_t i = start; i < end; ++i) r.samples[i] += noise(generator);
    return r;
}

Recording spliced(Recording r, double from, double to)
{
    const auto start = std::min(r.samples.size(), static_cast<std::size_t>(from * r.rate));
    const auto end = std::min(r.samples.size(), static_cast<std::size_t>(to * r.rate));
    r.samples.erase(r.samples.begin() + static_cast<std::ptrdiff_t>(start), r.samples.begin() + static_cast<std::ptrdiff_t>(end));
    return r;
}

Recording stopped_at(Recording r, double at)
{
    r.samples.resize(std::min(r.samples.size(), static_cast<std::size_t>(at * r.rate)));
    return r;
}

namespace {

int to16(double s) { return static_cast<int>(std::clamp(std::lround(s * 32768), -32768L, 32767L)); }

// G.711 from a 16-bit sample: a sign, the segment of its magnitude and four
// bits within it.
std::uint8_t mu_law_of(int sample)
{
    constexpr int kBias = 0x84, kClip = 32635;
    const int sign = sample < 0 ? 0x80 : 0;
    int magnitude = std::min(std::abs(sample), kClip) + kBias;
    int segment = 7;
    for (int mask = 0x4000; (magnitude & mask) == 0 && segment > 0; mask >>= 1) --segment;
    const int mantissa = (magnitude >> (segment + 3)) & 0x0F;
    return static_cast<std::uint8_t>(~(sign | segment << 4 | mantissa));
}

std::uint8_t a_law_of(int sample)
{
    const int sign = sample >= 0 ? 0x80 : 0;
    int magnitude = std::min(sample >= 0 ? sample : -sample - 1, 32767) >> 3;  // 13 bits
    int segment = 0;
    while (segment < 7 && magnitude >= (0x20 << segment)) ++segment;
    const int mantissa = segment == 0 ? (magnitude >> 1) & 0x0F : (magnitude >> segment) & 0x0F;
    return static_cast<std::uint8_t>((sign | segment << 4 | mantissa) ^ 0x55);
}

constexpr int kImaSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int kImaMoves[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

// The IMA encoder of the reference: each nibble the step's quarters that
// fit in the difference, the predictor following the decoder's sum.
struct ImaEncoder {
    int predictor = 0;
    int index = 0;
    unsigned encode(int sample)
    {
        const int step = kImaSteps[index];
        int difference = sample - predictor;
        unsigned nibble = 0;
        if (difference < 0) {
            nibble = 8;
            difference = -difference;
        }
        int change = step >> 3;
        if (difference >= step) { nibble |= 4; difference -= step; change += step; }
        if (difference >= step >> 1) { nibble |= 2; difference -= step >> 1; change += step >> 1; }
        if (difference >= step >> 2) { nibble |= 1; change += step >> 2; }
        predictor = std::clamp(nibble & 8 ? predictor - change : predictor + change, -32768, 32767);
        index = std::clamp(index + kImaMoves[nibble], 0, 88);
        return nibble;
    }
};

constexpr int kMsAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};

// Microsoft ADPCM with the first predictor pair (256, 0) in every block.
struct MsEncoder {
    int delta = 16, sample1 = 0, sample2 = 0;
    unsigned encode(int sample)
    {
        const int predicted = (sample1 * 256) >> 8;
        const int nibble = std::clamp(static_cast<int>(std::lround(static_cast<double>(sample - predicted) / delta)), -8, 7);
        const int decoded = std::clamp(predicted + nibble * delta, -32768, 32767);
        sample2 = sample1;
        sample1 = decoded;
        const auto code = static_cast<unsigned>(nibble & 0x0F);
        delta = std::max(16, (kMsAdaptation[code] * delta) >> 8);
        return code;
    }
};

void put_adpcm_data(Bytes& out, const std::vector<Recording>& channels, SampleFormat format, std::size_t block_bytes,
                    std::size_t frames_per_block)
{
    const std::size_t count = channels.size();
    const std::size_t frames = channels.front().samples.size();
    std::vector<ImaEncoder> ima(count);
    for (std::size_t first = 0; first < frames; first += frames_per_block) {
        const std::size_t start = out.size();
        const auto at = [&](std::size_t c, std::size_t i) {
            return first + i < frames ? to16(channels[c].samples[first + i]) : 0;
        };
        if (format == SampleFormat::ima_adpcm) {
            for (std::size_t c = 0; c < count; ++c) {
                ima[c].predictor = at(c, 0);
                put(out, static_cast<std::uint64_t>(static_cast<std::uint16_t>(ima[c].predictor)), 2);
                put(out, static_cast<std::uint64_t>(ima[c].index), 1);
                put(out, 0, 1);
            }
            for (std::size_t i = 1; i < frames_per_block; i += 8)
                for (std::size_t c = 0; c < count; ++c)
                    for (std::size_t b = 0; b < 4; ++b) {
                        const unsigned low = ima[c].encode(at(c, i + 2 * b));
                        const unsigned high = ima[c].encode(at(c, i + 2 * b + 1));
                        out.push_back(static_cast<std::uint8_t>(low | high << 4));
                    }
        } else {
            std::vector<MsEncoder> ms(count);
            for (std::size_t c = 0; c < count; ++c) put(out, 0, 1);  // predictor pair 0
            for (std::size_t c = 0; c < count; ++c) put(out, 16, 2);
            for (std::size_t c = 0; c < count; ++c) {
                ms[c].sample1 = at(c, 1);
                put(out, static_cast<std::uint64_t>(static_cast<std::uint16_t>(ms[c].sample1)), 2);
            }
            for (std::size_t c = 0; c < count; ++c) {
                ms[c].sample2 = at(c, 0);
                put(out, static_cast<std::uint64_t>(static_cast<std::uint16_t>(ms[c].sample2)), 2);
            }
            std::vector<unsigned> nibbles;
            for (std::size_t i = 2; i < frames_per_block; ++i)
                for (std::size_t c = 0; c < count; ++c) nibbles.push_back(ms[c].encode(at(c, i)));
            for (std::size_t n = 0; n < nibbles.size(); n += 2)
                out.push_back(static_cast<std::uint8_t>(nibbles[n] << 4 | (n + 1 < nibbles.size() ? nibbles[n + 1] : 0)));
        }
        out.resize(start + block_bytes, 0);
    }
}

}  // namespace

Bytes wav_file(const std::vector<Recording>& channels, WavLayout layout)
{
    constexpr int kBitsOf[] = {8, 16, 24, 32, 32, 64, 8, 8, 4, 4};
    constexpr std::uint16_t kTagOf[] = {1, 1, 1, 1, 3, 3, 7, 6, 0x11, 2};
    const auto format_index = static_cast<std::size_t>(layout.format);
    const int bits = kBitsOf[format_index];
    const std::uint16_t tag = kTagOf[format_index];
    const bool adpcm = layout.format == SampleFormat::ima_adpcm || layout.format == SampleFormat::ms_adpcm;
    const auto count = static_cast<std::uint64_t>(channels.size());
    const std::uint64_t frames = channels.front().samples.size();
    const std::uint64_t align = adpcm ? count * layout.adpcm_block : count * static_cast<std::uint64_t>(bits) / 8;
    const std::uint64_t frames_per_block = layout.format == SampleFormat::ima_adpcm  ? 1 + (layout.adpcm_block - 4) * 2
                                           : layout.format == SampleFormat::ms_adpcm ? 2 + (layout.adpcm_block - 7) * 2
                                                                                     : 1;
    const auto rate = static_cast<std::uint64_t>(channels.front().rate);

    Bytes out;
    put_tag(out, "RIFF");
    put(out, 0, 4);  // patched below
    put_tag(out, "WAVE");
    put_tag(out, "fmt ");
    const bool ms = layout.format == SampleFormat::ms_adpcm;
    put(out, layout.extensible ? 40 : !adpcm ? 16 : ms ? 50 : 20, 4);
    put(out, layout.extensible ? 0xFFFE : tag, 2);
    put(out, count, 2);
    put(out, rate, 4);
    put(out, rate * align / frames_per_block, 4);
    put(out, align, 2);
    put(out, static_cast<std::uint64_t>(bits), 2);
    if (layout.extensible) {
        put(out, 22, 2);  // extension size
        put(out, adpcm ? frames_per_block : static_cast<std::uint64_t>(bits), 2);  // valid bits, or frames per block
        put(out, count == 1 ? 0x4 : 0x3, 4);             // channel mask
        put(out, tag, 2);
        const std::uint8_t tail[] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        out.insert(out.end(), std::begin(tail), std::end(tail));
    } else if (adpcm) {
        put(out, ms ? 32 : 2, 2);
        put(out, frames_per_block, 2);
        if (ms) {
            constexpr int kPairs[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
            put(out, 7, 2);
            for (const auto& pair : kPairs)
                for (int c : pair) put(out, static_cast<std::uint64_t>(static_cast<std::uint16_t>(c)), 2);
        }
    }
    if (adpcm) {
        put_tag(out, "fact");
        put(out, 4, 4);
        put(out, frames, 4);
    }
    put_tag(out, "data");
    const std::size_t data_start = out.size();
    put(out, 0, 4);  // patched below
    if (adpcm) put_adpcm_data(out, channels, layout.format, static_cast<std::size_t>(align),
                              static_cast<std::size_t>(frames_per_block));
    for (std::uint64_t i = 0; !adpcm && i < frames; ++i) {
        for (const auto& channel : channels) {
            const double s = channel.samples[i];
            switch (layout.format) {
            case SampleFormat::pcm8: put(out, static_cast<std::uint64_t>(std::clamp(std::lround(s * 128), -128L, 127L) + 128), 1); break;
            case SampleFormat::pcm16: put(out, static_cast<std::uint64_t>(static_cast<std::uint16_t>(to16(s))), 2); break;
            case SampleFormat::pcm24: put(out, static_cast<std::uint64_t>(std::clamp(std::lround(s * 8388608), -8388608L, 8388607L)), 3); break;
            case SampleFormat::pcm32:
                put(out, static_cast<std::uint64_t>(std::clamp(std::llround(s * 2147483648.0), -2147483648LL, 2147483647LL)), 4);
                break;
            case SampleFormat::float32: {
                const float f = static_cast<float>(s);
                std::uint32_t bits32;
                std::memcpy(&bits32, &f, 4);
                put(out, bits32, 4);
                break;
            }
            case SampleFormat::float64: {
                std::uint64_t bits64;
                std::memcpy(&bits64, &s, 8);
                put(out, bits64, 8);
                break;
            }
            case SampleFormat::mu_law: out.push_back(mu_law_of(to16(s))); break;
            case SampleFormat::a_law: out.push_back(a_law_of(to16(s))); break;
            default: break;
            }
        }
    }
    const std::uint64_t data_size = out.size() - data_start - 4;
    for (int i = 0; i < 4; ++i) out[data_start + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(data_size >> (8 * i));
    const std::uint64_t riff = out.size() - 8;
    for (int i = 0; i < 4; ++i) out[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(riff >> (8 * i));
    return out;
}

}  // namespace morlevix::testing
