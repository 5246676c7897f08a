// Writes degraded recordings of a small tape, for comparing how the Linux
// and Windows programs decode them: make_test_recordings DIR
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "recordings.h"
#include "tape/encoder/tape_image_converter.h"

// Where the two takes are broken, in seconds of each: the first in
// UN's first data block, the second in the header of DEUX.
constexpr double kFirstTakeDropout = 3.0;
constexpr double kSecondTakeDropout = 5.13;
constexpr double kDropoutLength = 0.03;
constexpr double kSecondTakeDelay = 0.3;  // seconds of silence before the second take

int main(int argc, char** argv)
{
    using namespace morlevix::testing;
    if (argc != 2) {
        std::cerr << "usage: make_test_recordings DIR\n";
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    const Recording ours = recording_of(concat({tape_file("UN", counting_payload(300)), tape_file("DEUX", {1, 2, 3}, 0xFF)}));
    const Recording old = with_hiss(played(ac_coupled(low_passed(ours, 2800), 200), 44100, 0.96, 0.02, 0.5, 0.005, 8), 15, 3);
    const Recording phone = high_passed(low_passed(resampled(ours, 8000), 3400), 300);
    const auto silence_at = [](Recording r) {
        for (auto& s : r.samples) s = 0;
        return r;
    };
    const Recording silence = silence_at(ours);
    // Two takes of the tape, each broken in another block; the second 5 %
    // fast and started later.
    const Recording first_take = with_dropout(ours, kFirstTakeDropout, kFirstTakeDropout + kDropoutLength);
    Recording second_take = played(ours, 44100, 1.05);
    second_take.samples.insert(second_take.samples.begin(), static_cast<std::size_t>(kSecondTakeDelay * ours.rate), 0.0);
    second_take = with_dropout(second_take, kSecondTakeDropout, kSecondTakeDropout + kDropoutLength);
    // Two files, the first of twelve data blocks, two of which were lost
    // altogether to dropouts (silence over all of each).
    const Bytes two_files = concat({tape_file("PREMIER", counting_payload(12 * 255)), tape_file("SECOND", counting_payload(300, 5))});
    std::istringstream layout_of(std::string(two_files.begin(), two_files.end()));
    const auto layout = morlevix::signal_layout(layout_of);
    Recording lost = recording_of(two_files);
    std::size_t block = 0;
    for (const auto& segment : layout) {
        if (segment.kind != morlevix::SignalSegment::block) continue;
        if (block == 4 || block == 8)  // the fourth and eighth data blocks
            lost = with_dropout(lost, static_cast<double>(segment.start) / lost.rate,
                                static_cast<double>(segment.start + segment.samples) / lost.rate);
        ++block;
    }
    const std::pair<const char*, Bytes> recordings[] = {
        {"vieille.wav", wav_file({old})},
        {"telephone.wav", wav_file({phone}, {SampleFormat::pcm8, false})},
        {"droite.wav", wav_file({silence, with_gain(played(ours, 48000, 1.1), -20)}, {SampleFormat::float32, true})},
        {"souffle.wav", wav_file({with_hiss(with_gain(ours, -10), 5, 1)}, {SampleFormat::pcm24, false})},
        {"ulaw.wav", wav_file({with_gain(phone, -6)}, {SampleFormat::mu_law, false})},
        {"alaw.wav", wav_file({with_gain(ours, -6)}, {SampleFormat::a_law, true})},
        {"ima.wav", wav_file({with_gain(phone, -6), silence_at(phone)}, {SampleFormat::ima_adpcm, false, 256})},
        {"msadpcm.wav", wav_file({with_gain(old, -6)}, {SampleFormat::ms_adpcm, false})},
        {"lent.wav", wav_file({resampled(ours, 5500)})},
        {"prise1.wav", wav_file({first_take})},
        {"prise2.wav", wav_file({second_take})},
        {"perdu.wav", wav_file({with_hiss(lost, 30, 17)})},
    };
    for (const auto& [name, bytes] : recordings)
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::cout << std::size(recordings) << " recordings in " << dir.string() << '\n';
    return 0;
}
