#include "cycle_sequence.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace morlevix {
namespace {

constexpr double kPi = 3.14159265358979323846;

// How far from its learned length a cycle may be, in samples: the tape's
// wobble and the rounding of the learned lengths to whole samples.
constexpr int kShortSpread = 1;
constexpr int kLongSpread = 2;
// A cycle's score loses this much, times its tone's energy at the learned
// length and the square of how far (in parts of that length) it is from
// it: the cycles keep to the learned lengths unless the samples clearly
// say otherwise, so that noise cannot make a long cycle out of two short
// ones by stretching them.
constexpr double kLengthPenalty = 600;
constexpr std::size_t kShortestTone = 2;
// Cycles of one kind and length it takes to learn their shape.
constexpr std::size_t kFewestTaught = 20;

// One cycle of a tone, `length` samples long: its samples at the tone's
// amplitude, rising through zero at the start, and what it costs.
struct Shape {
    bool short_cycle;
    std::size_t length;
    std::vector<float> tone;
    double energy;
    double penalty;
};

std::vector<float> tone_of(std::size_t length, std::size_t count)
{
    std::vector<float> tone(count);
    for (std::size_t j = 0; j < count; ++j)
        tone[j] = static_cast<float>(std::sin(2 * kPi * (static_cast<double>(j) + 0.5) / static_cast<double>(length)));
    return tone;
}

std::vector<Shape> shapes_of(double short_cycle, double long_cycle, double amplitude)
{
    std::vector<Shape> shapes;
    const auto add = [&](bool short_kind, double learned, int spread) {
        const auto middle = static_cast<long>(std::lround(learned));
        for (long length = middle - spread; length <= middle + spread; ++length) {
            if (length < static_cast<long>(kShortestTone)) continue;
            Shape shape{short_kind, static_cast<std::size_t>(length), tone_of(static_cast<std::size_t>(length), static_cast<std::size_t>(length)), 0, 0};
            for (auto& t : shape.tone) t *= static_cast<float>(amplitude);
            for (const float t : shape.tone) shape.energy += static_cast<double>(t) * t;
            const double off = (static_cast<double>(length) - learned) / learned;
            shape.penalty = kLengthPenalty * amplitude * amplitude * (learned / 2) * off * off;
            shapes.push_back(std::move(shape));
        }
    };
    add(true, short_cycle, kShortSpread);
    add(false, long_cycle, kLongSpread);
    return shapes;
}

// Each shape's tone as the channel gives it: the average of the samples of
// the cycles of its kind and length read before, where there are enough.
void learn_shapes(const std::vector<float>& samples, const std::vector<SequenceCycle>& taught, std::vector<Shape>& shapes)
{
    for (Shape& shape : shapes) {
        std::vector<double> sum(shape.length, 0.0);
        std::size_t seen = 0;
        for (const SequenceCycle& cycle : taught) {
            if (cycle.short_cycle != shape.short_cycle || cycle.length != shape.length) continue;
            if (cycle.start + cycle.length > samples.size()) continue;
            for (std::size_t j = 0; j < cycle.length; ++j) sum[j] += samples[cycle.start + j];
            ++seen;
        }
        if (seen < kFewestTaught) continue;
        shape.energy = 0;
        for (std::size_t j = 0; j < shape.length; ++j) {
            shape.tone[j] = static_cast<float>(sum[j] / static_cast<double>(seen));
            shape.energy += static_cast<double>(shape.tone[j]) * shape.tone[j];
        }
    }
}

}  // namespace

std::vector<SequenceCycle> read_cycle_sequence(const std::vector<float>& samples, double short_cycle, double long_cycle,
                                               double amplitude, std::size_t free_start, const std::vector<SequenceCycle>* taught)
{
    std::vector<Shape> shapes = shapes_of(short_cycle, long_cycle, amplitude);
    if (taught) learn_shapes(samples, *taught, shapes);
    const std::size_t count = samples.size();
    constexpr double kUnreached = -std::numeric_limits<double>::infinity();
    // For every sample: the best score of cycles that end there, and the
    // last of those cycles (its shape; its start is its end less its length).
    std::vector<double> score(count + 1, kUnreached);
    // And the best score of those whose last cycle is of the other kind
    // than that one: how much the other reading of the last cycle loses.
    std::vector<double> other(count + 1, kUnreached);
    std::vector<std::uint8_t> last(count + 1, 0);
    std::vector<std::uint8_t> first(count + 1, 0);  // no cycle ends here: the first one starts here
    for (std::size_t i = 0; i < count; ++i) {
        if (i <= free_start && score[i] < 0) {
            score[i] = 0;
            first[i] = 1;
        }
        if (score[i] == kUnreached) continue;
        for (std::size_t s = 0; s < shapes.size(); ++s) {
            const Shape& shape = shapes[s];
            if (i + shape.length > count) continue;
            double fit = 0;
            for (std::size_t j = 0; j < shape.length; ++j) fit += static_cast<double>(samples[i + j]) * shape.tone[j];
            // The log-likelihood of the samples, given this cycle in white
            // noise, less the cost of its length.
            const double total = score[i] + 2 * fit - shape.energy - shape.penalty;
            const std::size_t end = i + shape.length;
            const bool same_kind = score[end] == kUnreached || shapes[last[end]].short_cycle == shape.short_cycle;
            if (total > score[end]) {
                if (!same_kind) other[end] = score[end];
                score[end] = total;
                last[end] = static_cast<std::uint8_t>(s);
                first[end] = 0;
            } else if (!same_kind) {
                other[end] = std::max(other[end], total);
            }
        }
    }
    std::size_t end = count;
    while (end > 0 && (score[end] == kUnreached || first[end])) --end;

    // How clearly each cycle is its kind: what the best reading that ends
    // it the other way loses, against what it loses when the samples are
    // exactly a long cycle read as two short ones (or the other way).
    const double whole_loss = amplitude * amplitude * long_cycle;

    std::vector<SequenceCycle> cycles;
    for (std::size_t at = end; at > 0 && !first[at];) {
        const Shape& shape = shapes[last[at]];
        SequenceCycle cycle;
        cycle.short_cycle = shape.short_cycle;
        cycle.length = shape.length;
        cycle.start = at - shape.length;
        cycle.margin = other[at] == kUnreached || !(whole_loss > 0)
                           ? 1.0
                           : std::clamp((score[at] - other[at]) / whole_loss, 0.0, 1.0);
        double left = 0, own = 0;
        for (std::size_t j = 0; j < shape.length; ++j) {
            const double sample = samples[cycle.start + j];
            const double off = sample - shape.tone[j];
            left += off * off;
            own += sample * sample;
        }
        cycle.residual = shape.energy > 0 ? left / shape.energy : 1.0;
        cycle.energy = shape.energy > 0 ? own / shape.energy : 0.0;
        cycles.push_back(cycle);
        at = cycle.start;
    }
    std::reverse(cycles.begin(), cycles.end());
    return cycles;
}

}  // namespace morlevix
