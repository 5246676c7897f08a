#include "recording_input.h"

#include <array>
#include <cstring>
#include <istream>

namespace morlevix {
namespace {

// An ID3 tag before MP3 frames (or FLAC): "ID3", version, flags, then its
// size in four bytes of seven bits each.
constexpr std::size_t kId3HeaderSize = 10;
constexpr std::size_t kId3SizeOffset = 6;
constexpr unsigned kId3FooterFlag = 0x10;
constexpr std::size_t kOggPacketOffset = 28;  // the first packet, after the first page's header
// MPEG audio frames start with eleven bits set; the layer's two bits are
// 00 in AAC's ADTS frames.
constexpr unsigned kFrameSyncByte = 0xFF;
constexpr unsigned kFrameSyncBits = 0xE0;
constexpr unsigned kLayerBits = 0x06;
constexpr unsigned kAdtsBits = 0xF6;
constexpr unsigned kAdtsMark = 0xF0;

constexpr unsigned char kW64Guid[] = {0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};

struct Sniffed {
    std::array<unsigned char, kFileKindBytes> bytes{};
    std::size_t size = 0;

    bool has(std::size_t at, const char* tag) const
    {
        const std::size_t length = std::strlen(tag);
        return at + length <= size && std::memcmp(bytes.data() + at, tag, length) == 0;
    }
};

Sniffed read_start(std::istream& file, std::streamoff skip)
{
    Sniffed sniffed;
    const auto start = file.tellg();
    file.seekg(skip, std::ios::cur);
    if (file) {
        file.read(reinterpret_cast<char*>(sniffed.bytes.data()), static_cast<std::streamsize>(sniffed.bytes.size()));
        sniffed.size = static_cast<std::size_t>(file.gcount());
    }
    file.clear();
    file.seekg(start);
    return sniffed;
}

FileKind kind_of_frames(const Sniffed& s)
{
    if (s.has(0, "fLaC")) return FileKind::flac;
    if (s.size >= 2 && s.bytes[0] == kFrameSyncByte) {
        if ((s.bytes[1] & kAdtsBits) == kAdtsMark) return FileKind::aac;
        if ((s.bytes[1] & kFrameSyncBits) == kFrameSyncBits && (s.bytes[1] & kLayerBits) != 0) return FileKind::mp3;
    }
    return FileKind::other;
}

FileKind kind_of(const Sniffed& s)
{
    if (s.has(0, "RIFF")) return FileKind::wav;  // our reader says what is wrong with one that is not WAVE
    if (s.has(0, "RF64") || s.has(0, "BW64")) return FileKind::rf64;
    if (s.has(0, "riff") && s.size >= 4 + sizeof kW64Guid && std::memcmp(s.bytes.data() + 4, kW64Guid, sizeof kW64Guid) == 0)
        return FileKind::w64;
    if (s.has(0, "FORM") && (s.has(8, "AIFF") || s.has(8, "AIFC"))) return FileKind::aiff;
    if (s.has(0, "OggS")) {
        if (s.has(kOggPacketOffset, "OpusHead")) return FileKind::ogg_opus;
        if (s.has(kOggPacketOffset, "\x01vorbis")) return FileKind::ogg_vorbis;
        if (s.has(kOggPacketOffset, "\x7f" "FLAC")) return FileKind::ogg_flac;
        return FileKind::ogg;
    }
    if (s.has(0, "caff")) return FileKind::caf;
    if (s.has(0, ".snd")) return FileKind::au;
    if (s.has(4, "ftyp")) return FileKind::aac;
    if (s.has(0, "#!AMR")) return FileKind::amr;
    return kind_of_frames(s);
}

// Formats that no library of libsndfile's kind reads: AAC's patents kept
// it out, and AMR's.
bool read_by_no_library(FileKind kind) { return kind == FileKind::aac || kind == FileKind::amr; }

// The file name a conversion example uses for the format.
const char* example_extension(FileKind kind)
{
    switch (kind) {
    case FileKind::mp3: return ".mp3";
    case FileKind::ogg_vorbis:
    case FileKind::ogg_flac:
    case FileKind::ogg: return ".ogg";
    case FileKind::ogg_opus: return ".opus";
    case FileKind::aiff: return ".aiff";
    case FileKind::w64: return ".w64";
    case FileKind::caf: return ".caf";
    case FileKind::au: return ".au";
    case FileKind::amr: return ".amr";
    case FileKind::aac: return ".m4a";
    case FileKind::wav:
    case FileKind::rf64: return ".wav";
    default: return ".flac";
    }
}

constexpr Text kNotARecording{"pas un fichier WAV, ni un enregistrement d'un autre format connu",
                              "not a WAV file, nor a recording of another known format"};
constexpr Text kNotReadByThisBuild{" : format que cette version de morlevix ne lit pas ; convertir en WAV, par exemple avec sox IN",
                                   ": a format this build of morlevix does not read; convert it to WAV, for example with sox IN"};
constexpr Text kNotReadByAnyLibrary{
    " : format que morlevix ne lit pas ; ouvrir le fichier dans la page de morlevix (le navigateur le decode), ou convertir en WAV, par exemple avec ffmpeg -i IN",
    ": a format morlevix does not read; open the file in morlevix's page (the browser decodes it), or convert it to WAV, for example with ffmpeg -i IN"};
constexpr char kExampleOutput[] = " OUT.wav";
constexpr Text kConvertToPcm{" ; convertir en WAV PCM, par exemple avec sox IN.wav -e signed -b 16 OUT.wav",
                             "; convert it to PCM WAV, for example with sox IN.wav -e signed -b 16 OUT.wav"};
constexpr Text kFormatsWithLibrary{
    "\nEnregistrements lus : WAV, FLAC, Ogg Vorbis, Opus, MP3, AIFF, W64 et les WAV\n"
    "compresses (GSM 6.10...) ; pas AAC ni M4A : la page les lit, ou ffmpeg les\n"
    "convertit.\n",
    "\nRecordings read: WAV, FLAC, Ogg Vorbis, Opus, MP3, AIFF, W64, and compressed\n"
    "WAV (GSM 6.10...); not AAC or M4A: the page reads them, or ffmpeg converts\n"
    "them.\n"};
constexpr Text kFormatsWithoutLibrary{
    "\nEnregistrements lus : WAV seulement (cette version n'a pas libsndfile) ; les\n"
    "autres formats se convertissent en WAV, par exemple avec sox IN.flac OUT.wav.\n",
    "\nRecordings read: WAV only (this build has no libsndfile); other formats are\n"
    "converted to WAV, for example with sox IN.flac OUT.wav.\n"};

// Why a recording of `kind` cannot be read by this build.
Said refusal(FileKind kind)
{
    if (kind == FileKind::other) return kNotARecording;
    const Text& why = read_by_no_library(kind) ? kNotReadByAnyLibrary : kNotReadByThisBuild;
    return Said::same(format_name(kind)) + why + (std::string(example_extension(kind)) + kExampleOutput);
}

}  // namespace

FileKind file_kind_of(std::istream& file)
{
    const Sniffed start = read_start(file, 0);
    if (!start.has(0, "ID3") || start.size < kId3HeaderSize) return kind_of(start);
    // Past the tag: MP3 frames, or now and then a FLAC stream.
    std::streamoff size = 0;
    for (std::size_t i = 0; i < 4; ++i) size = size << 7 | (start.bytes[kId3SizeOffset + i] & 0x7F);
    size += kId3HeaderSize + ((start.bytes[5] & kId3FooterFlag) ? kId3HeaderSize : 0);
    const FileKind after = kind_of_frames(read_start(file, size));
    return after == FileKind::other ? FileKind::mp3 : after;
}

const char* format_name(FileKind kind)
{
    switch (kind) {
    case FileKind::wav: return "WAV";
    case FileKind::rf64: return "RF64";
    case FileKind::w64: return "W64";
    case FileKind::aiff: return "AIFF";
    case FileKind::flac: return "FLAC";
    case FileKind::ogg_vorbis: return "Ogg Vorbis";
    case FileKind::ogg_opus: return "Opus";
    case FileKind::ogg_flac: return "Ogg FLAC";
    case FileKind::ogg: return "Ogg";
    case FileKind::mp3: return "MP3";
    case FileKind::caf: return "CAF";
    case FileKind::au: return "AU";
    case FileKind::aac: return "AAC (M4A)";
    case FileKind::amr: return "AMR";
    case FileKind::other: break;
    }
    return "?";
}

Said recording_formats_text()
{
    return CompressedRecording::available() ? kFormatsWithLibrary : kFormatsWithoutLibrary;
}

RecordingReader::RecordingReader(std::istream& file) : file_(file), wav_(file) {}

RecordingReader::~RecordingReader() = default;

bool RecordingReader::open()
{
    const FileKind kind = file_kind_of(file_);
    if (kind == FileKind::wav) {
        // Our own reader first; a WAV it does not know (GSM 6.10, ...) goes
        // to the library, from the start again.
        const auto start = file_.tellg();
        if (wav_.open()) {
            use_wav_ = true;
            channels_ = wav_.format().channels;
            sample_rate_ = wav_.format().sample_rate;
            return true;
        }
        error_ = wav_.error();  // said if the library cannot read it either
        if (!CompressedRecording::available()) {
            if (wav_.encoding_unknown()) error_ += kConvertToPcm;
            return false;
        }
        file_.clear();
        file_.seekg(start);
    } else if (read_by_no_library(kind) || !CompressedRecording::available()) {
        error_ = refusal(kind);
        return false;
    } else if (kind == FileKind::other) {
        // A file of no format we know may still be one that the library
        // knows by its contents; if not, it is no recording.
        error_ = refusal(kind);
    }
    Said why;
    compressed_ = CompressedRecording::open(file_, why);
    if (!compressed_) {
        if (error_.empty()) error_ = why;
        return false;
    }
    error_ = Said();
    channels_ = compressed_->channels();
    sample_rate_ = compressed_->sample_rate();
    return true;
}

const Said& RecordingReader::error() const
{
    if (compressed_) return compressed_->error();
    return use_wav_ ? wav_.error() : error_;
}

std::size_t RecordingReader::read(std::vector<std::vector<float>>& channels, std::size_t max_frames)
{
    if (use_wav_) return wav_.read(channels, max_frames);
    return compressed_ ? compressed_->read(channels, max_frames) : 0;
}

}  // namespace morlevix
