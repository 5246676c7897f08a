// The cassette signal read back: samples of a recording in, tape blocks out.
// It mirrors the encoder, and reads real recordings, not only our own square
// waves: any level, either polarity, a DC offset, the band limits of tapes
// and sound cards, hiss, a tape running fast or slow and wobbling, low
// sample rates, a room's echoes and lossy codecs.
//
// How, stage by stage (each in a file of its own, this class passing what
// one stage hears to the next):
// - signal_filter: the samples summed down to about 14 kHz, a band-pass
//   around the two tones, and the inverse of a channel that takes the short
//   cycles away, learned from a leader (leader_equalizer);
// - crossing_detector: zero crossings past a hysteresis that follows the
//   signal's level, interpolated between samples;
// - sync_search: between blocks, cycles timed in both directions; leaders
//   teach the cycle lengths (cycle_lengths) and are marked; a block starts
//   at a sync byte after a marker byte;
// - block_reader: the block's cycles read as bits and bytes as far as its
//   length byte says, with how well it was heard;
// - second_reading: a block not heard sound, or not heard at all where one
//   must be, read again from the recording's own samples (kept_samples) as
//   the most likely sequence of whole cycles (cycle_sequence);
// - signal_map: where a tape's signal was heard at all, leaders and the
//   rest, for telling what no block covers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "block_reader.h"
#include "crossing_detector.h"
#include "cycle_lengths.h"
#include "heard_block.h"
#include "second_reading.h"
#include "signal_filter.h"
#include "signal_map.h"
#include "sync_search.h"

namespace morlevix {

class CassetteDecoder final : private CrossingDetector::Listener {
public:
    explicit CassetteDecoder(double sample_rate);

    // The next samples of one channel, as values around 0 (any level).
    void feed(const float* samples, std::size_t count);
    // The end of the recording: a block still being heard is cut there.
    void finish();

    // The blocks heard so far, in the order of their times.
    const std::vector<HeardBlock>& blocks() const { return blocks_; }
    // Where the tape's signal was heard so far, in the order of their times.
    const std::vector<HeardStretch>& stretches() const { return map_.stretches(); }

private:
    bool crossing(int direction, double time, float peak) override;
    void peak(float loudest) override { reader_.gather(loudest); }
    void process_chunk();
    void block_ended();

    SignalFilter filter_;
    CrossingDetector detector_;
    CycleLengths lengths_;
    SyncSearch search_;
    BlockReader reader_;
    SecondReading second_;
    SignalMap map_;
    double last_crossing_[kDirections] = {};
    std::vector<HeardBlock> blocks_;
};

}  // namespace morlevix
