// Reads a produced WAV file back the way a tape loader would: by the
// lengths of its high and low runs. Written independently of the encoder,
// with the cassette's figures as plain numbers, so that both sides must agree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tape_builder.h"

namespace morlevix::testing {

struct WavImage {
    std::string error;  // empty when the header and both sizes are right
    Bytes samples;
};

// Checks the 44-byte header, both size fields against the file length,
// and returns the samples.
WavImage parse_wav(const Bytes& file);

// The signal as tokens separated by spaces:
//   S<n>       n samples of silence (adjacent silences merged)
//   L<n>       a leader of n bytes 0x55
//   M          a marker byte 0x55
//   [3c ..]    a block, sync byte to closing byte
// or a text starting "ERROR" where the signal is not a clean cassette signal.
std::string describe_signal(const Bytes& samples);

// The blocks found in the signal, in order.
std::vector<Bytes> decoded_blocks(const Bytes& samples);

// Both at once: the description (or error) and the blocks.
struct DecodedSignal {
    std::string description;
    std::vector<Bytes> blocks;
};
DecodedSignal decode_signal(const Bytes& samples);

// The complete blocks of a tape image, found by reading it independently of
// the converter (for comparison with decoded_blocks).
std::vector<Bytes> image_blocks(const Bytes& image);

// What a signal should read as, built token by token.
class SignalModel {
public:
    SignalModel& silence(std::uint64_t samples);
    SignalModel& leader();
    SignalModel& gap_and_leader() { return silence(22050).leader(); }
    // Marker, block, marker and the 180 samples of silence after every block.
    SignalModel& framed(const Bytes& block);
    // The closing second of silence.
    std::string finished() { return silence(44100).text(); }
    std::string text() const;

private:
    void token(const std::string& t);
    std::vector<std::string> tokens_;
    std::uint64_t pending_silence_ = 0;
};

std::string hex_block(const Bytes& block);

}  // namespace morlevix::testing
