// Compressed recordings through libsndfile, its reads and seeks served by
// the byte stream we are given (a file, or standard input held in memory).
#include <sndfile.h>

#include <algorithm>
#include <istream>
#include <string>

#include "compressed_recording.h"
#include "recording_time.h"
#include "wav_input.h"

namespace morlevix {
namespace {

constexpr Text kUnreadable{"enregistrement illisible (", "unreadable recording ("};
constexpr Text kDecodingStopped{"decodage arrete par une erreur (", "decoding stopped by an error ("};
constexpr Text kCutShort{"fichier coupe : ses echantillons s'arretent a ", "file cut short: its samples stop at "};
constexpr Text kOf{" sur ", " of "};

// The stream as libsndfile's file: every offset counted from where the
// recording starts in it.
struct StreamFile {
    std::istream& stream;
    std::streamoff start;
};

StreamFile& stream_of(void* user) { return *static_cast<StreamFile*>(user); }

sf_count_t stream_length(void* user)
{
    StreamFile& file = stream_of(user);
    file.stream.clear();
    const auto here = file.stream.tellg();
    file.stream.seekg(0, std::ios::end);
    const auto end = file.stream.tellg();
    file.stream.seekg(here);
    return end < 0 ? 0 : static_cast<sf_count_t>(end - file.start);
}

sf_count_t stream_seek(sf_count_t offset, int whence, void* user)
{
    StreamFile& file = stream_of(user);
    file.stream.clear();
    if (whence == SEEK_SET) file.stream.seekg(file.start + offset, std::ios::beg);
    else if (whence == SEEK_CUR) file.stream.seekg(offset, std::ios::cur);
    else file.stream.seekg(offset, std::ios::end);
    const auto at = file.stream.tellg();
    return at < 0 ? -1 : static_cast<sf_count_t>(at - file.start);
}

sf_count_t stream_read(void* bytes, sf_count_t count, void* user)
{
    StreamFile& file = stream_of(user);
    file.stream.read(static_cast<char*>(bytes), static_cast<std::streamsize>(count));
    const auto got = file.stream.gcount();
    if (!file.stream.bad()) file.stream.clear();  // the end of the file, met: later seeks still work
    return static_cast<sf_count_t>(got);
}

sf_count_t stream_write(const void*, sf_count_t, void*) { return 0; }

sf_count_t stream_tell(void* user)
{
    StreamFile& file = stream_of(user);
    const auto at = file.stream.tellg();
    return at < 0 ? -1 : static_cast<sf_count_t>(at - file.start);
}

// Formats whose header gives the exact number of frames: one that ends
// before them was cut short. (An MP3's or an Ogg's count is found from
// the file itself, or estimated.)
bool frames_are_exact(int format)
{
    switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_FLAC:
    case SF_FORMAT_AIFF:
    case SF_FORMAT_W64:
    case SF_FORMAT_WAV:
    case SF_FORMAT_RF64:
    case SF_FORMAT_CAF:
        return true;
    default:
        return false;
    }
}

class SndfileRecording final : public CompressedRecording {
public:
    explicit SndfileRecording(std::istream& stream) : file_{stream, stream.tellg()} {}
    ~SndfileRecording() override
    {
        if (sound_ != nullptr) sf_close(sound_);
    }
    SndfileRecording(const SndfileRecording&) = delete;
    SndfileRecording& operator=(const SndfileRecording&) = delete;

    bool open(Said& error)
    {
        SF_VIRTUAL_IO io{stream_length, stream_seek, stream_read, stream_write, stream_tell};
        sound_ = sf_open_virtual(&io, SFM_READ, &info_, &file_);
        if (sound_ == nullptr) {
            error = kUnreadable + std::string(sf_strerror(nullptr)) + std::string(")");
            return false;
        }
        error = recording_shape_problem(info_.channels, info_.samplerate);
        return error.empty();
    }

    unsigned channels() const override { return static_cast<unsigned>(info_.channels); }
    std::uint32_t sample_rate() const override { return static_cast<std::uint32_t>(info_.samplerate); }
    const Said& error() const override { return error_; }

    std::size_t read(std::vector<std::vector<float>>& channels, std::size_t max_frames) override
    {
        const auto count = static_cast<std::size_t>(info_.channels);
        channels.resize(count);
        interleaved_.resize(max_frames * count);
        const sf_count_t got = sf_readf_float(sound_, interleaved_.data(), static_cast<sf_count_t>(max_frames));
        const auto frames = got > 0 ? static_cast<std::size_t>(got) : 0;
        for (std::size_t c = 0; c < count; ++c) {
            channels[c].resize(frames);
            for (std::size_t f = 0; f < frames; ++f) channels[c][f] = std::clamp(interleaved_[f * count + c], -1.0f, 1.0f);
        }
        frames_read_ += static_cast<sf_count_t>(frames);
        if (frames == 0) say_how_it_ended();
        return frames;
    }

private:
    void say_how_it_ended()
    {
        if (!error_.empty()) return;
        const int code = sf_error(sound_);
        if (code != SF_ERR_NO_ERROR) {
            error_ = kDecodingStopped + std::string(sf_error_number(code)) + std::string(")");
        } else if (frames_are_exact(info_.format) && frames_read_ < info_.frames) {
            const double rate = info_.samplerate;
            error_ = kCutShort + recording_time_text(static_cast<double>(frames_read_) / rate) + kOf +
                     recording_time_text(static_cast<double>(info_.frames) / rate);
        }
    }

    StreamFile file_;
    SF_INFO info_{};
    SNDFILE* sound_ = nullptr;
    std::vector<float> interleaved_;
    sf_count_t frames_read_ = 0;
    Said error_;
};

}  // namespace

bool CompressedRecording::available() { return true; }

std::unique_ptr<CompressedRecording> CompressedRecording::open(std::istream& file, Said& error)
{
    auto recording = std::make_unique<SndfileRecording>(file);
    if (!recording->open(error)) return nullptr;
    return recording;
}

}  // namespace morlevix
