// Reading a recording of a cassette, whatever the file: our own WAV reader
// for WAV, and where the program is built with libsndfile, that library
// for FLAC, Ogg Vorbis, Opus, MP3, AIFF, W64 and the WAV encodings our
// reader does not know (GSM 6.10 in WAV, for instance). Which reader takes
// a file is told by its first bytes, never by its name. A format this
// build cannot read is refused in words that name it and say what to do.
//
// Either way the samples are streamed in blocks of frames: the memory held
// does not grow with the recording's length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "compressed_recording.h"
#include "common/two_languages.h"
#include "wav_input.h"

namespace morlevix {

// How many of a file's first bytes file_kind_of looks at (past an ID3
// tag, it looks further on).
inline constexpr std::size_t kFileKindBytes = 64;

// What a file's first bytes say it holds.
enum class FileKind {
    other,  // no recording that we know: a tape image, where one is expected
    wav,
    rf64,
    w64,
    aiff,
    flac,
    ogg_vorbis,
    ogg_opus,
    ogg_flac,
    ogg,  // another codec inside Ogg
    mp3,
    caf,
    au,
    aac,  // AAC, plain (ADTS) or in an MP4 box (.m4a)
    amr,
};

// Looks at the first bytes of `file` and goes back to where it was.
FileKind file_kind_of(std::istream& file);
// A file that holds a recording (of any format, read or not).
inline bool is_recording(FileKind kind) { return kind != FileKind::other; }
// The format's name, as the console says it: "FLAC", "MP3", ...
const char* format_name(FileKind kind);

// Which recordings this build reads, for the help: a line or two.
Said recording_formats_text();

// The samples of a recording: the file's own rate, any number of channels,
// as values from -1 to 1.
class RecordingReader {
public:
    explicit RecordingReader(std::istream& file);
    ~RecordingReader();
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;

    // Reads up to the samples. False, with what is wrong in error(), when
    // this build cannot read the file as a recording.
    bool open();
    unsigned channels() const { return channels_; }
    std::uint32_t sample_rate() const { return sample_rate_; }
    // What is wrong: the file cannot be read, or (after the last read) its
    // samples stopped short of their end.
    const Said& error() const;

    // Up to `max_frames` frames into `channels` (one vector per channel,
    // resized to the frames read). Zero at the end of the samples.
    std::size_t read(std::vector<std::vector<float>>& channels, std::size_t max_frames);

private:
    std::istream& file_;
    WavReader wav_;
    std::unique_ptr<CompressedRecording> compressed_;  // the file libsndfile reads, if it is one
    bool use_wav_ = false;
    Said error_;
    unsigned channels_ = 0;
    std::uint32_t sample_rate_ = 0;
};

}  // namespace morlevix
