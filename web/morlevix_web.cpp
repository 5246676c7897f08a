// The tape core as the web page calls it: plain C functions over bytes in
// the WebAssembly memory. Every function that makes something hands back a
// WebResult that the page reads, then releases.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "basic/basic_program.h"
#include "tape/catalog/tape_files.h"
#include "tape/decoder/cassette_decoder.h"
#include "tape/encoder/tape_image_converter.h"
#include "tape/reading/recording_converter.h"
#include "tape/reading/tape_contents.h"
#include "tape/report/report_json.h"
#include "tape/report/tape_report.h"
#include "tape/sound/recording_input.h"

namespace {

using morlevix::CassetteDecoder;
using morlevix::HeardBlock;
using Json = nlohmann::ordered_json;

// Bytes, or a text in JSON, made for the page.
struct WebResult {
    std::string bytes;
};

std::istringstream stream_of(const std::uint8_t* data, std::size_t size)
{
    return std::istringstream(std::string(reinterpret_cast<const char*>(data), size));
}

WebResult* result(std::string bytes) { return new WebResult{std::move(bytes)}; }

// The page speaks either language: every text of a report in both.
constexpr morlevix::ReportTexts kBothLanguages{morlevix::Language::french, true};

// A report for the page, then, after a NUL, an image.
WebResult* report_and_image(const morlevix::TapeReport& report, const std::vector<HeardBlock>& blocks)
{
    const auto image = morlevix::tape_image_of(blocks);
    return result(morlevix::tape_report_json(report, kBothLanguages) + '\0' + std::string(image.begin(), image.end()));
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE std::uint8_t* morlevix_alloc(std::size_t size) { return new std::uint8_t[size > 0 ? size : 1]; }
EMSCRIPTEN_KEEPALIVE void morlevix_free(std::uint8_t* data) { delete[] data; }

EMSCRIPTEN_KEEPALIVE const char* morlevix_result_data(const WebResult* r) { return r->bytes.data(); }
EMSCRIPTEN_KEEPALIVE std::size_t morlevix_result_size(const WebResult* r) { return r->bytes.size(); }
EMSCRIPTEN_KEEPALIVE void morlevix_result_release(WebResult* r) { delete r; }

// The WAV file that `morlevix convert` writes for the image.
// Keeps only the bytes from `from` to `to` of what is written, and asks for
// no more once past them.
class WindowSink final : public morlevix::ByteSink {
public:
    WindowSink(std::uint64_t from, std::uint64_t to) : from_(from), to_(to) {}
    bool write(const std::uint8_t* data, std::size_t size) override
    {
        const std::uint64_t start = at_;
        at_ += size;
        const std::uint64_t first = std::max(start, from_), last = std::min(at_, to_);
        if (first < last) kept_.append(reinterpret_cast<const char*>(data + (first - start)), last - first);
        return at_ < to_;  // a refusal ends the conversion: the window is full
    }
    bool write_at(std::uint64_t, const std::uint8_t*, std::size_t) override { return true; }  // the sizes: not asked for
    bool close() override { return true; }
    std::string& kept() { return kept_; }

private:
    std::uint64_t from_, to_, at_ = 0;
    std::string kept_;
};

EMSCRIPTEN_KEEPALIVE WebResult* morlevix_convert(const std::uint8_t* image, std::size_t size)
{
    auto tape = stream_of(image, size);
    morlevix::MemorySink sink;
    morlevix::WavWriter wav(sink);
    morlevix::SilentReport silent;
    morlevix::convert_tape_stream(tape, wav, silent);
    return result(std::string(sink.bytes().begin(), sink.bytes().end()));
}

// What `morlevix list` shows of the tape (an image, or a recording): its
// report, as JSON.
EMSCRIPTEN_KEEPALIVE WebResult* morlevix_list(const std::uint8_t* image, std::size_t size)
{
    auto tape = stream_of(image, size);
    return result(morlevix::tape_report_json(morlevix::list_report("", morlevix::read_tape_contents(tape)), kBothLanguages));
}

// A file given to the page, whichever it is: for a tape image, what
// `morlevix list` says of it; for a recording, what `morlevix decode` says
// (the report's "kind" tells which), then, after a NUL, the image heard.
EMSCRIPTEN_KEEPALIVE WebResult* morlevix_open(const std::uint8_t* bytes, std::size_t size)
{
    auto file = stream_of(bytes, size);
    const auto contents = morlevix::read_tape_contents(file);
    if (!contents.recording) return result(morlevix::tape_report_json(morlevix::list_report("", contents), kBothLanguages) + '\0');
    morlevix::DecodedRecording decoded;
    decoded.error = contents.error;
    decoded.blocks = contents.blocks;
    decoded.account = contents.account;
    decoded.seconds = contents.seconds;
    return report_and_image(morlevix::decode_report("", "", decoded), decoded.blocks);
}

// What a file's first bytes say it is: 0 a tape image (or nothing known),
// 1 a WAV, 2 a recording of another format (for the browser to decode).
EMSCRIPTEN_KEEPALIVE int morlevix_file_kind(const std::uint8_t* bytes, std::size_t size)
{
    auto file = stream_of(bytes, size);
    const auto kind = morlevix::file_kind_of(file);
    return kind == morlevix::FileKind::other ? 0 : kind == morlevix::FileKind::wav ? 1 : 2;
}

// How many samples the image's WAV holds, closing second included.
EMSCRIPTEN_KEEPALIVE double morlevix_sample_count(const std::uint8_t* image, std::size_t size)
{
    auto tape = stream_of(image, size);
    return static_cast<double>(morlevix::plan_conversion(tape).data_size);
}

// Samples `first` to `first + count` of the image's WAV, the very bytes
// morlevix_convert writes there: the conversion runs only as far as them,
// so that a player fed a piece at a time holds one piece at a time.
EMSCRIPTEN_KEEPALIVE WebResult* morlevix_samples(const std::uint8_t* image, std::size_t size, double first, double count)
{
    auto tape = stream_of(image, size);
    const auto from = morlevix::kWavHeaderSize + static_cast<std::uint64_t>(first);
    WindowSink sink(from, from + static_cast<std::uint64_t>(count));
    {
        morlevix::WavWriter wav(sink);
        morlevix::SilentReport silent;
        morlevix::convert_tape_stream(tape, wav, silent);
    }
    return result(std::move(sink.kept()));
}

// Where the gaps, leaders and blocks of the image's signal lie, as JSON:
// [[kind, start, samples, block type, file], ...], kind 0 silence, 1 leader, 2 block.
EMSCRIPTEN_KEEPALIVE WebResult* morlevix_layout(const std::uint8_t* image, std::size_t size)
{
    auto tape = stream_of(image, size);
    Json layout = Json::array();
    for (const auto& s : morlevix::signal_layout(tape))
        layout.push_back(Json::array({static_cast<int>(s.kind), s.start, s.samples, s.block_type, s.file}));
    return result(layout.dump());
}

// A recording (a WAV file) decoded as `morlevix decode` does: its report as
// JSON, then, after a NUL, the image.
EMSCRIPTEN_KEEPALIVE WebResult* morlevix_decode(const std::uint8_t* wav, std::size_t size)
{
    auto recording = stream_of(wav, size);
    const auto decoded = morlevix::decode_recording(recording);
    return report_and_image(morlevix::decode_report("", "", decoded), decoded.blocks);
}

// Several takes of one tape merged as `morlevix decode --merge` does: the
// `count` recordings lie back to back in `takes`, `sizes` long, their names
// in `names`, each ended by a NUL. The image is named `image_name` in the
// report. The report as JSON, then, after a NUL, the image.
EMSCRIPTEN_KEEPALIVE WebResult* morlevix_merge(const std::uint8_t* takes, const std::uint32_t* sizes, const char* names,
                                               int count, const char* image_name)
{
    std::vector<std::string> take_names;
    morlevix::TakeSet set;
    std::vector<morlevix::ReportLine> problems;
    for (int t = 0; t < count; ++t) {
        take_names.emplace_back(names);
        names += take_names.back().size() + 1;
        auto recording = stream_of(takes, sizes[t]);
        takes += sizes[t];
        const morlevix::Said problem = set.add(recording);
        if (!problem.empty())
            problems.push_back({"take_error", take_names.back() + morlevix::kFieldSeparator + problem, std::nullopt, std::nullopt,
                                std::nullopt, std::nullopt});
    }
    const auto tape = set.merge();
    return report_and_image(morlevix::merge_tape_report(take_names, image_name, tape, problems), tape.heard_blocks());
}

// The BASIC program of the image's file `index` as the machine lists it:
// a report in JSON ({basic, problems}), then, after a NUL, the text's bytes.
EMSCRIPTEN_KEEPALIVE WebResult* morlevix_basic(const std::uint8_t* image, std::size_t size, int index)
{
    auto tape = stream_of(image, size);
    const auto files = morlevix::files_on_tape(morlevix::read_tape_contents(tape).blocks);
    if (index < 0 || static_cast<std::size_t>(index) >= files.size() ||
        files[static_cast<std::size_t>(index)].info.file_type != morlevix::kBasicFile)
        return result(Json{{"basic", false}, {"problems", Json::array()}}.dump() + '\0');
    const auto& file = files[static_cast<std::size_t>(index)];
    const auto listing = morlevix::list_basic_program(file.bytes);
    auto problems = listing.problems;
    if (!file.whole) problems.push_back(morlevix::kDamagedFileText);
    Json said = Json::array();
    for (const auto& problem : problems) said.push_back(Json{{"fr", problem.fr()}, {"en", problem.en()}});
    return result(Json{{"basic", true}, {"problems", said}}.dump() + '\0' + listing.text);
}

// Decoding as the recording comes in, from the microphone or line input.
struct Listener {
    CassetteDecoder decoder;
    double rate;
    double samples = 0;  // heard so far
};
EMSCRIPTEN_KEEPALIVE Listener* morlevix_listener_new(double sample_rate) { return new Listener{CassetteDecoder(sample_rate), sample_rate}; }
EMSCRIPTEN_KEEPALIVE void morlevix_listener_feed(Listener* l, const float* samples, std::size_t count)
{
    l->decoder.feed(samples, count);
    l->samples += static_cast<double>(count);
}
// The report so far (as for morlevix_decode); after `finish`, the end of
// the recording has been heard.
EMSCRIPTEN_KEEPALIVE WebResult* morlevix_listener_report(Listener* l, int finish)
{
    if (finish != 0) l->decoder.finish();
    // While it listens, the file being heard has not ended yet.
    auto accounted =
        morlevix::account_for_heard(l->decoder.blocks(), l->decoder.stretches(), l->samples / l->rate,
                                    finish != 0 ? morlevix::RecordingEnd::ended : morlevix::RecordingEnd::still_coming);
    morlevix::DecodedRecording heard;
    heard.blocks = std::move(accounted.blocks);
    heard.account = std::move(accounted.account);
    heard.seconds = l->samples / l->rate;
    return report_and_image(morlevix::decode_report("", "", heard), heard.blocks);
}
EMSCRIPTEN_KEEPALIVE void morlevix_listener_release(Listener* l) { delete l; }

}  // extern "C"
