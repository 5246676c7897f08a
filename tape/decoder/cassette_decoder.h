// The cassette signal read back: samples of a recording in, tape blocks out.
// It mirrors the encoder, and reads real recordings, not only our own square
// waves: any level, either polarity, a DC offset, the band limits of tapes
// and sound cards, hiss, a tape running fast or slow and wobbling, low
// sample rates.
//
// How:
// - The samples are summed a few at a time down to about 14 kHz, then a
//   linear-phase band-pass around the signal's two tones (1,225 and 2,450 Hz)
//   takes away DC, rumble and hiss; linear phase keeps every crossing where
//   it was, whatever the cycles around it.
// - Zero crossings count once the signal has gone past a hysteresis that
//   follows its level, so that noise and ringing in the silences make none;
//   their times are interpolated between samples.
// - Cycles are timed from crossing to crossing in one direction, which no
//   stray crossing can pair wrongly, and in both directions at once: only
//   the direction in which every cycle starts shows the alternating short
//   and long cycles of a leader or marker byte, so the recording's polarity
//   chooses itself.
// - The two cycle lengths are learned from each leader (its 0x55 bytes
//   alternate them) and followed cycle by cycle through every block, so a
//   tape that runs fast, slow or wobbles is followed.
// - Each leader also shows the channel: its harmonics against those of a
//   square wave. Where the channel takes the short cycles away (a steep
//   low-pass, the notch of a head out of azimuth), a filter that undoes it
//   is folded into the band-pass until a leader shows the channel flat.
// - A block that the crossings do not read sound (or whose sync byte they
//   never found after a leader) is read again from the recording's own
//   samples, kept for the length of the longest block: as the most likely
//   sequence of whole cycles of the two tones, which a room's echoes, a
//   lossy codec or a stray pair of crossings do not fool as easily. Such a
//   copy counts only when its checksum is right.
// - A block starts at a sync byte after a marker byte. Inside a block, a
//   crossing lost to noise shows as a cycle whose middle crossing is off
//   centre, and is put back; a silence or dropout ends the block, and the
//   search starts afresh.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "tape/cassette_format.h"

namespace morlevix {

// How well a block was heard: what to look at before recording it again.
struct BlockFigures {
    double speed = 1;   // the tape's speed over the block, 1 nominal (1.02: 2 % fast)
    double level = 0;   // its loudest sample, in dB below full scale
    // How far its weakest bit was from the line between a 0 and a 1: 1
    // when every cycle had exactly its learned length, 0 on the line.
    double margin = 0;
};

// A block as heard in a recording.
struct HeardBlock {
    TapeBlock block;        // its bytes, sync byte first; `length` of them were heard
    bool complete = false;  // false: the signal broke off inside it
    double seconds = 0;     // where its sync byte starts in the recording
    BlockFigures figures;

    bool sound() const { return complete && checksum_is_right(block); }
};

class CassetteDecoder {
public:
    explicit CassetteDecoder(double sample_rate);

    // The next samples of one channel, as values around 0 (any level).
    void feed(const float* samples, std::size_t count);
    // The end of the recording: a block still being heard is cut there.
    void finish();

    const std::vector<HeardBlock>& blocks() const { return blocks_; }

private:
    static constexpr int kBitsInSync = 16;     // a marker byte and the sync byte
    static constexpr int kLeaderCycles = 8;    // cycles that show a leader
    static constexpr int kDirections = 2;

    // Crossings in one direction, and the cycles they time while searching.
    struct CycleTrack {
        double last_crossing = 0;
        std::uint32_t window = 0;  // the latest bits, newest highest
        int valid_run = 0;         // cycles in a row of a bit's length
        double bit_starts[kBitsInSync] = {};  // when the latest bits began, newest last
        double periods[kLeaderCycles] = {};   // the latest cycles, newest last
        int periods_seen = 0;
        int leader_run = 0;  // cycles in a row that looked like a leader
    };

    void filter_and_detect();
    void band_pass_filter(std::size_t count);
    void shaped_filter(std::size_t count);
    void detect(std::size_t count);
    void crossing(int direction, double time);
    void search(CycleTrack& track, double start, double period);
    void learn_from_leader(CycleTrack& track, double period);
    void read_cycle(double start, double period);
    void read_bit(double period);
    int classify(double period) const;
    void learn(int bit, double period);
    void start_block(const CycleTrack& track);
    void end_block(bool complete);
    double margin_of(double period) const;
    void gather_peak(float& peak);
    void judge_channel_at(double time, double period);

    // Where a block may be read again from: a time (in filtered samples)
    // shortly before it, the direction its cycles start in, and the cycle
    // lengths learned there.
    struct RereadMark {
        double time = 0;
        int direction = 0;
        double short_cycle = 0;
        double long_cycle = 0;
        bool from_leader = false;  // a leader's, before any block was heard
        // The end of a data block: the next block follows a moment later
        // with no leader, and is read from here if nothing was heard there.
        bool after_block = false;
    };
    RereadMark block_mark(double time) const;
    void mark_end_of(const HeardBlock& block, double time, const RereadMark& read);
    bool heard_after(double time) const;
    void mark_leader(const CycleTrack& track);
    void reread_due(std::int64_t newest);
    void reread(const RereadMark& mark);
    std::vector<float> kept_stretch(double first, double up, int direction) const;
    double kept_position(double processed) const;
    double processed_position(double kept) const;
    void place_reread(const HeardBlock& heard);
    void keep(const float* samples, std::size_t count);
    float kept_at(std::int64_t index) const { return kept_[static_cast<std::size_t>(index) & kept_mask_]; }

    double seconds_per_step_;
    // Summing the samples down to the processing rate.
    std::size_t step_;
    std::size_t step_fill_ = 0;
    float step_sum_ = 0;
    float previous_step_sum_ = 0;
    // The band-pass: taps, and a chunk of processed samples they run over,
    // after the last `history_` of the chunk before. Where the channel needs
    // undoing, the band-pass and the channel's inverse make one filter,
    // longer by `2 * half_span_` and centred on the same sample.
    std::vector<float> taps_;
    std::vector<float> shaped_taps_;
    bool equalizing_ = false;
    std::size_t half_span_;
    std::vector<float> input_;
    std::vector<float> output_;
    std::size_t history_;
    std::size_t centre_;  // the filters' delay, in processed samples
    std::size_t filled_;  // of input_
    // The latest processed samples before any filter, for learning the
    // channel from a leader.
    std::vector<float> recent_;
    // The recording's own samples, summed `keep_step_` at a time, for
    // reading a block again (finer than the processed ones): a ring of
    // `kept_mask_ + 1`, `kept_count_` kept so far.
    std::vector<float> kept_;
    std::size_t kept_mask_;
    std::size_t keep_step_;
    double kept_per_processed_;
    std::size_t keep_fill_ = 0;
    float keep_sum_ = 0;
    std::int64_t kept_count_ = 0;
    // Reading again: how far after its mark a block surely ends, the
    // marks waiting for that, the latest leader's, and where the block
    // being heard began.
    double reread_span_;
    std::deque<RereadMark> rereads_;
    RereadMark leader_marks_[2];
    double marker_start_ = 0;
    // Crossings.
    float level_ = 0;
    float level_rate_;
    float held_level_ = 0;  // the highest level of late, fading
    float held_level_decay_;
    std::int64_t position_ = 0;  // processed samples so far
    float previous_ = 0;
    bool above_ = false;    // the last crossing counted went up
    double candidate_ = 0;  // the latest zero crossing, not yet counted
    CycleTrack tracks_[kDirections];
    // Cycle lengths, in processed samples.
    double short_cycle_;
    double long_cycle_;
    double nominal_short_;
    // The block being heard.
    bool reading_ = false;
    int reading_direction_ = 0;
    double pending_ = 0;  // a piece of a cycle cut by a glitch
    int bits_ = 0;
    unsigned byte_ = 0;
    // The block's figures as they gather: its speed cycle by cycle, its
    // loudest processed sample, its weakest bit.
    double nominal_time_ = 0;
    double heard_time_ = 0;
    float block_peak_ = 0;
    float peak_scale_;  // from a processed sample to full scale
    double weakest_margin_ = 1;
    HeardBlock current_;
    std::vector<HeardBlock> blocks_;
};

}  // namespace morlevix
