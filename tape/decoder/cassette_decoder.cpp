#include "cassette_decoder.h"

namespace morlevix {

CassetteDecoder::CassetteDecoder(double sample_rate)
    : filter_(sample_rate),
      detector_(sample_rate / static_cast<double>(filter_.step())),
      lengths_(sample_rate / static_cast<double>(filter_.step())),
      search_(lengths_.nominal_short()),
      reader_(filter_.seconds_per_step(), static_cast<double>(filter_.centre()), filter_.step()),
      second_(sample_rate, filter_.step(), filter_.seconds_per_step(), filter_.centre(), filter_.history()),
      map_(filter_.seconds_per_step(), static_cast<double>(filter_.centre()))
{
}

void CassetteDecoder::feed(const float* samples, std::size_t count)
{
    while (count > 0) {
        const std::size_t used = filter_.sum_down(samples, count);
        second_.keep(samples, used);
        samples += used;
        count -= used;
        if (filter_.full()) process_chunk();
    }
    if (filter_.pending() > 0) process_chunk();
}

void CassetteDecoder::process_chunk()
{
    // Before the rings move on. A block being read, or whose closing marker
    // is awaited, is not heard yet.
    const bool in_block = reader_.reading() || reader_.closing();
    second_.read_due(filter_.position(), in_block ? reader_.marker_start() : -1, lengths_, blocks_);
    filter_.filter();
    detector_.detect(filter_.before(), filter_.output(), filter_.pending(), filter_.position(), reader_.reading(), *this);
    filter_.next_chunk();
}

bool CassetteDecoder::crossing(int direction, double time, float peak)
{
    reader_.gather(peak);
    const double start = last_crossing_[direction];
    last_crossing_[direction] = time;
    const double other = last_crossing_[1 - direction];
    if (direction == kRising)
        map_.cycle(start, time, lengths_.near_a_bit(time - start), !reader_.reading() && search_.in_leader());
    if (!reader_.reading()) {
        // After a block's bytes, its closing marker; the search hears it
        // too, as it hears everything between blocks.
        if (reader_.closing() && direction == reader_.direction() && reader_.closing_cycle(time - start, lengths_))
            block_ended();
        const SyncSearch::Heard heard = search_.cycle(direction, start, time, other, lengths_);
        if (heard.leader_ended_in_silence) second_.leader_ended_in_silence(time);
        if (heard.marked) second_.leader_marked(heard.mark);
        if (heard.judge_period > 0) filter_.judge_channel_at(time, heard.judge_period);
        if (heard.sync) {
            if (reader_.closing()) {
                reader_.stop(lengths_);
                block_ended();
            }
            reader_.start(direction, heard.sync_start, heard.marker_start);
        }
    } else if (direction == reader_.direction() && reader_.cycle(start, time - start, other, lengths_) &&
               !reader_.block().complete) {
        block_ended();  // broken off; a whole block ends after its closing marker
    }
    return reader_.reading();
}

void CassetteDecoder::block_ended()
{
    keep_reading(reader_.block(), blocks_);
    const double end = reader_.block().complete ? reader_.bytes_end() : last_crossing_[reader_.direction()];
    second_.block_ended(reader_.block(), end, reader_.direction(),
                        reader_.marker_start(), lengths_);
}

void CassetteDecoder::finish()
{
    if (reader_.reading() || reader_.closing()) {
        reader_.stop(lengths_);
        block_ended();
    }
    second_.read_all(lengths_, blocks_);
    map_.finish();
}

}  // namespace morlevix
