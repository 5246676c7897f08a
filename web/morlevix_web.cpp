// The tape core as the web page calls it: plain C functions over bytes in
// the WebAssembly memory. Every function that makes something hands back a
// WebResult that the page reads, then releases.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "basic/basic_program.h"
#include "tape/decoder/cassette_decoder.h"
#include "tape/reading/recording_converter.h"
#include "tape/sound/recording_input.h"
#include "tape/account/tape_account.h"
#include "tape/catalog/tape_catalog.h"
#include "tape/reading/tape_contents.h"
#include "tape/catalog/tape_files.h"
#include "tape/encoder/tape_image_converter.h"
#include "tape/account/take_merger.h"

namespace {

using morlevix::CassetteDecoder;
using morlevix::HeardBlock;
using morlevix::TapeCatalog;

// Bytes, or a text in JSON, made for the page.
struct WebResult {
    std::string bytes;
};

std::istringstream stream_of(const std::uint8_t* data, std::size_t size)
{
    return std::istringstream(std::string(reinterpret_cast<const char*>(data), size));
}

// A JSON string: names on tapes are shown safely already, but quotes and
// backslashes must still be escaped.
std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
            continue;
        }
        out += c;
    }
    return out + "\"";
}

// A text of the tape core in both its languages: {"fr": ..., "en": ...},
// the page shows the one it speaks.
std::string quoted_said(const morlevix::Said& text)
{
    return "{\"fr\":" + quoted(text.fr()) + ",\"en\":" + quoted(text.en()) + "}";
}


template <typename Item, typename Write>
std::string json_list(const std::vector<Item>& items, Write write)
{
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) out += (i > 0 ? "," : "") + write(items[i]);
    return out + "]";
}

// What `morlevix list` shows of a tape: its files (with the very line it
// prints for each) and its problems.
std::string catalog_json(const TapeCatalog& catalog, bool times)
{
    const auto file = [&](const morlevix::CatalogFile& f) {
        const auto& seconds = catalog.blocks[f.header_block].seconds;
        return "{\"name\":" + quoted(f.name) + ",\"type\":" + std::to_string(f.file_type) +
               ",\"typeText\":" + quoted_said(morlevix::file_type_text(f.file_type)) + ",\"blocks\":" + std::to_string(f.blocks) +
               ",\"bytes\":" + std::to_string(f.bytes) + ",\"end\":" + (f.end_block ? "true" : "false") +
               ",\"seconds\":" + (seconds ? std::to_string(*seconds) : "null") +
               ",\"line\":" + quoted_said(morlevix::catalog_file_line(catalog, f, times)) + "}";
    };
    return "{\"heading\":" + quoted_said(morlevix::catalog_files_heading(times)) + ",\"files\":" +
           json_list(catalog.files, file) + ",\"problems\":" + json_list(morlevix::catalog_problems(catalog), quoted_said) + "}";
}

// What `morlevix list` shows of a tape image: its catalog, its problems
// (the blocks', then the files' that the account finds: a file without its
// end block, blocks with no header before them), its notes, and which files
// are whole.
std::string listing_json(const morlevix::TapeContents& contents)
{
    std::vector<morlevix::Said> problems = morlevix::catalog_problems(contents.catalog), notes;
    for (const auto& problem : contents.account.problems)
        if (problem.kind != morlevix::AccountProblem::bad_block && problem.kind != morlevix::AccountProblem::before_any_header)
            problems.push_back(problem.text);
    for (const auto& note : contents.account.notes) notes.push_back(note.text);
    std::string out = catalog_json(contents.catalog, false);
    out.resize(out.rfind(",\"problems\":"));  // the catalog's own problems give way to the whole list
    return out + ",\"problems\":" + json_list(problems, quoted_said) + ",\"notes\":" + json_list(notes, quoted_said) +
           ",\"whole\":" + json_list(contents.account.whole_files, [](bool w) { return std::string(w ? "true" : "false"); }) + "}";
}

WebResult* result(std::string bytes) { return new WebResult{std::move(bytes)}; }

std::string image_bytes(const std::vector<HeardBlock>& blocks)
{
    const auto image = morlevix::tape_image_of(blocks);
    return std::string(image.begin(), image.end());
}

// A number for JSON, rounded to what a map needs.
std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", value);
    return text;
}

// The map of a recording: where each block was heard and how (its kind,
// type, file, speed, level and margin), where blocks were lost, and tape
// signal no block covers; `seconds` its length.
std::string map_json(const std::vector<HeardBlock>& blocks, const morlevix::TapeAccount& account, double seconds)
{
    constexpr double kWeakMargin = 0.15;  // a sound block heard by little: the one to record again
    int file = -1;
    std::string out = "{\"seconds\":" + number(seconds) + ",\"blocks\":[";
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const HeardBlock& heard = blocks[i];
        if (morlevix::opens_file(heard)) ++file;
        const char* kind = heard.sound() ? (heard.figures.margin < kWeakMargin ? "weak" : "sound") : heard.complete ? "wrong" : "broken";
        const int type = heard.block.length > morlevix::kBlockTypeOffset ? heard.block.type() : -1;
        out += std::string(i > 0 ? "," : "") + "[" + number(heard.seconds) + "," + number(morlevix::heard_duration(heard)) +
               ",\"" + kind + "\"," + std::to_string(type) + "," + std::to_string(file) + "," + number(heard.figures.speed) +
               "," + number(heard.figures.level) + "," + number(heard.figures.margin) + "]";
    }
    out += "],\"lost\":" + json_list(account.lost, [](const morlevix::LostStretch& l) {
        return "[" + number(l.start) + "," + number(l.end) + "," + std::to_string(l.blocks) + "," + (l.signal ? "true" : "false") + "]";
    });
    out += ",\"unread\":" + json_list(account.unread, [](const morlevix::HeardStretch& s) {
        return "[" + number(s.start) + "," + number(s.end) + "]";
    });
    return out + "}";
}

// The report of a recording: the files found (each whole or not), what is
// wrong and where, what the blocks make of a tape, and its map.
std::string recording_json(const std::vector<HeardBlock>& blocks, const morlevix::TapeAccount& account,
                           const morlevix::Said& error, double seconds)
{
    std::vector<morlevix::Said> names, problems;
    std::vector<bool> whole;
    std::size_t file = 0;
    for (const auto& heard : blocks) {
        if (!morlevix::opens_file(heard)) continue;
        const bool is_whole = account.whole_files[file++];
        whole.push_back(is_whole);
        if (heard.complete)
            names.push_back(morlevix::Said::same(morlevix::shown_file_name(heard.block)) +
                            (is_whole ? morlevix::Said() : morlevix::Said(morlevix::kFieldSeparator) + morlevix::kIncompleteFileText));
    }
    std::vector<morlevix::Said> notes;
    for (const auto& problem : account.problems) problems.push_back(problem.text);
    for (const auto& note : account.notes) notes.push_back(note.text);
    return "{\"error\":" + (error.empty() ? std::string("null") : quoted_said(error)) + ",\"blocks\":" + std::to_string(blocks.size()) + ",\"files\":" +
           json_list(names, quoted_said) + ",\"whole\":" + json_list(whole, [](bool w) { return std::string(w ? "true" : "false"); }) +
           ",\"problems\":" + json_list(problems, quoted_said) + ",\"notes\":" + json_list(notes, quoted_said) + ",\"catalog\":" + catalog_json(morlevix::catalog_of(blocks), true) +
           ",\"map\":" + map_json(blocks, account, seconds) + "}";
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

// What `morlevix list` shows of the tape (an image, or a recording), as JSON.
EMSCRIPTEN_KEEPALIVE WebResult* morlevix_list(const std::uint8_t* image, std::size_t size)
{
    auto tape = stream_of(image, size);
    const auto contents = morlevix::read_tape_contents(tape);
    return result(contents.recording ? catalog_json(contents.catalog, true) : listing_json(contents));
}

// A file given to the page, whichever it is: for a tape image, what
// `morlevix list` shows of it ({"recording":false,"listing":...}); for a
// recording, what `morlevix decode` says ({"recording":true,"report":...}),
// then, after a NUL, its image.
EMSCRIPTEN_KEEPALIVE WebResult* morlevix_open(const std::uint8_t* bytes, std::size_t size)
{
    auto file = stream_of(bytes, size);
    const auto contents = morlevix::read_tape_contents(file);
    if (!contents.recording)
        return result("{\"recording\":false,\"listing\":" + listing_json(contents) + "}" + '\0');
    return result("{\"recording\":true,\"report\":" + recording_json(contents.blocks, contents.account, contents.error, contents.seconds) + "}" + '\0' +
                  image_bytes(contents.blocks));
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
    return result(json_list(morlevix::signal_layout(tape), [](const morlevix::SignalSegment& s) {
        return "[" + std::to_string(static_cast<int>(s.kind)) + "," + std::to_string(s.start) + "," +
               std::to_string(s.samples) + "," + std::to_string(s.block_type) + "," + std::to_string(s.file) + "]";
    }));
}

// A recording (a WAV file) decoded as `morlevix decode` does: the report as
// JSON, then, after a NUL, the image.
EMSCRIPTEN_KEEPALIVE WebResult* morlevix_decode(const std::uint8_t* wav, std::size_t size)
{
    auto recording = stream_of(wav, size);
    const auto decoded = morlevix::decode_recording(recording);
    return result(recording_json(decoded.blocks, decoded.account, decoded.error, decoded.seconds) + '\0' + image_bytes(decoded.blocks));
}

// Several takes of one tape merged as `morlevix decode --merge` does: the
// `count` recordings lie back to back in `takes`, `sizes` long, their names
// in `names`, each ended by a NUL. The image is named `image_name` in the
// report. The report as JSON ({heading, files, problems, blocks, catalog}),
// then, after a NUL, the image.
EMSCRIPTEN_KEEPALIVE WebResult* morlevix_merge(const std::uint8_t* takes, const std::uint32_t* sizes, const char* names,
                                               int count, const char* image_name)
{
    std::vector<std::string> take_names;
    morlevix::TakeSet set;
    std::vector<morlevix::Said> problems;
    for (int t = 0; t < count; ++t) {
        take_names.emplace_back(names);
        names += take_names.back().size() + 1;
        auto recording = stream_of(takes, sizes[t]);
        takes += sizes[t];
        const morlevix::Said problem = set.add(recording);
        if (!problem.empty()) problems.push_back(take_names.back() + morlevix::kFieldSeparator + problem);
    }
    const auto tape = set.merge();
    const auto report = morlevix::merge_report(tape, take_names, image_name);
    problems.insert(problems.end(), report.problems.begin(), report.problems.end());
    const auto blocks = tape.heard_blocks();
    return result("{\"heading\":" + quoted(morlevix::takes_heading(take_names)) + ",\"files\":" + json_list(report.files, quoted_said) +
                  ",\"problems\":" + json_list(problems, quoted_said) + ",\"blocks\":" + std::to_string(blocks.size()) +
                  ",\"catalog\":" + catalog_json(morlevix::catalog_of(blocks), true) + "}" + '\0' + image_bytes(blocks));
}

// The BASIC program of the image's file `index` as the machine lists it:
// a report in JSON ({basic, problems}), then, after a NUL, the text's bytes.
EMSCRIPTEN_KEEPALIVE WebResult* morlevix_basic(const std::uint8_t* image, std::size_t size, int index)
{
    auto tape = stream_of(image, size);
    const auto files = morlevix::files_on_tape(morlevix::read_tape_contents(tape).blocks);
    if (index < 0 || static_cast<std::size_t>(index) >= files.size() ||
        files[static_cast<std::size_t>(index)].info.file_type != morlevix::kBasicFile)
        return result(std::string("{\"basic\":false,\"problems\":[]}") + '\0');
    const auto& file = files[static_cast<std::size_t>(index)];
    const auto listing = morlevix::list_basic_program(file.bytes);
    auto problems = listing.problems;
    if (!file.whole) problems.push_back(morlevix::kDamagedFileText);
    return result("{\"basic\":true,\"problems\":" + json_list(problems, quoted_said) + "}" + '\0' + listing.text);
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
    const auto accounted =
        morlevix::account_for_heard(l->decoder.blocks(), l->decoder.stretches(), l->samples / l->rate,
                                    finish != 0 ? morlevix::RecordingEnd::ended : morlevix::RecordingEnd::still_coming);
    const auto& blocks = accounted.blocks;
    return result(recording_json(blocks, accounted.account, morlevix::Said(), l->samples / l->rate) + '\0' + image_bytes(blocks));
}
EMSCRIPTEN_KEEPALIVE void morlevix_listener_release(Listener* l) { delete l; }

}  // extern "C"
