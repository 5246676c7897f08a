#include "recordings.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <sstream>

#include "signal_decoder.h"
#include "tape/tape_image_converter.h"
#include "tape/wav_output.h"

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

Recording with_hiss(Recording r, double snr, std::uint32_t seed)
{
    constexpr double kPresent = 1e-3;
    double power = 0;
    std::size_t present = 0;
    for (auto s : r.samples)
        if (std::fabs(s) > kPresent) {
            power += s * s;
            ++present;
        }
    const double sigma = std::sqrt(power / std::max<std::size_t>(present, 1) / std::pow(10.0, snr / 10));
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

Recording with_dropout(Recording r, double from, double to)
{
    const auto start = static_cast<std::size_t>(from * r.rate);
    const auto end = std::min(r.samples.size(), static_cast<std::size_t>(to * r.rate));
    for (std::size_t i = start; i < end; ++i) r.samples[i] = 0;
    return r;
}

Bytes wav_file(const std::vector<Recording>& channels, WavLayout layout)
{
    constexpr int kBitsOf[] = {8, 16, 24, 32, 32, 64};
    const int bits = kBitsOf[static_cast<int>(layout.format)];
    const bool floating = layout.format == SampleFormat::float32 || layout.format == SampleFormat::float64;
    const auto count = static_cast<std::uint64_t>(channels.size());
    const std::uint64_t frames = channels.front().samples.size();
    const std::uint64_t align = count * bits / 8;
    const auto rate = static_cast<std::uint64_t>(channels.front().rate);
    const std::uint16_t tag = floating ? 3 : 1;

    Bytes out;
    put_tag(out, "RIFF");
    put(out, 0, 4);  // patched below
    put_tag(out, "WAVE");
    put_tag(out, "fmt ");
    put(out, layout.extensible ? 40 : 16, 4);
    put(out, layout.extensible ? 0xFFFE : tag, 2);
    put(out, count, 2);
    put(out, rate, 4);
    put(out, rate * align, 4);
    put(out, align, 2);
    put(out, static_cast<std::uint64_t>(bits), 2);
    if (layout.extensible) {
        put(out, 22, 2);                                 // extension size
        put(out, static_cast<std::uint64_t>(bits), 2);   // valid bits
        put(out, count == 1 ? 0x4 : 0x3, 4);             // channel mask
        put(out, tag, 2);
        const std::uint8_t tail[] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        out.insert(out.end(), std::begin(tail), std::end(tail));
    }
    put_tag(out, "data");
    put(out, frames * align, 4);
    for (std::uint64_t i = 0; i < frames; ++i) {
        for (const auto& channel : channels) {
            const double s = channel.samples[i];
            switch (layout.format) {
            case SampleFormat::pcm8: put(out, static_cast<std::uint64_t>(std::clamp(std::lround(s * 128), -128L, 127L) + 128), 1); break;
            case SampleFormat::pcm16: put(out, static_cast<std::uint64_t>(std::clamp(std::lround(s * 32768), -32768L, 32767L)), 2); break;
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
            }
        }
    }
    const std::uint64_t riff = out.size() - 8;
    for (int i = 0; i < 4; ++i) out[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(riff >> (8 * i));
    return out;
}

}  // namespace morlevix::testing
