#include "cli/commands.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "cli/file_access.h"
#include "console/console_modes.h"
#include "console/console_texts.h"
#include "tape/file_replacement.h"
#include "tape/recording_converter.h"
#include "tape/tape_catalog.h"
#include "tape/tape_contents.h"
#include "tape/take_merger.h"
#include "tape/file_names.h"
#include "tape/tape_image_converter.h"
#include "tape/wav_input.h"

namespace morlevix {
namespace {

constexpr char kTruncatedExplanation[] = " : l'image finit au milieu de ce bloc";
constexpr char kNoFile[] = "  aucun fichier";

// The command line's account of a conversion: the tape's file names on the
// console, one per line; anomalies as errors that name the image.
class CommandLineReport final : public ConversionReport {
public:
    CommandLineReport(std::ostream& names, const ConsoleStreams& console, const std::string& image)
        : names_(names), console_(console), image_(image)
    {
    }
    void file_header(const std::string& name) override { names_ << name << '\n'; }
    void truncated_block(std::uint8_t shown) override
    {
        report_error(console_, image_ + kFieldSeparator + kTruncatedBlockText + hex_byte(shown) + kTruncatedExplanation);
    }
    void too_long() override { report_error(console_, image_ + kFieldSeparator + kTooLongText); }

private:
    std::ostream& names_;
    const ConsoleStreams& console_;
    const std::string& image_;
};

bool convert_image(const std::string& image, const std::string& wav_name, const ConsoleStreams& console)
{
    const bool to_standard_output = wav_name == kStandardStream;
    // With the WAV on standard output, every console line goes to standard error.
    std::ostream& messages = to_standard_output ? console.err : console.out;

    InputFile input;
    if (!input.open(image, console)) return false;
    if (!to_standard_output && image != kStandardStream && same_file(image, wav_name)) {
        report_error(console, kCannotCreateText + wav_name);  // it would replace the image itself
        return false;
    }
    messages << image << kArrow << wav_name << '\n';
    CommandLineReport report(messages, console, image);
    FileConversion result;
    if (to_standard_output) {
        use_binary_mode(stdout);
        StreamSink sink(console.out);
        result = file_conversion(convert_tape_stream_sized_first(input.stream(), sink, report));
    } else {
        result = write_wav_file(input.stream(), wav_name, report);
    }
    messages.flush();
    switch (result) {
    case FileConversion::converted: return true;
    case FileConversion::truncated:
    case FileConversion::too_long: return false;  // already reported
    case FileConversion::cannot_read: report_error(console, kCannotReadText + image); break;
    case FileConversion::cannot_create: report_error(console, kCannotCreateText + wav_name); break;
    case FileConversion::write_failed: report_error(console, kWriteErrorText + wav_name); break;
    }
    return false;
}

bool list_image(const std::string& image, bool blocks, const ConsoleStreams& console, bool& listed_before)
{
    InputFile input;
    if (!input.open(image, console)) return false;
    const TapeContents contents = read_tape_contents(input.stream());
    if (!contents.error.empty()) {
        report_error(console, image + kFieldSeparator + contents.error);
        return false;
    }
    const TapeCatalog& catalog = contents.catalog;
    const bool times = contents.recording;
    std::ostream& out = console.out;
    if (listed_before) out << '\n';  // a blank line between images
    listed_before = true;
    out << image << '\n';
    if (catalog.files.empty()) {
        out << kNoFile << '\n';
    } else {
        out << catalog_files_heading(times) << '\n';
        for (const auto& file : catalog.files) out << catalog_file_line(catalog, file, times) << '\n';
    }
    if (blocks) {
        out << catalog_blocks_heading(times) << '\n';
        for (const auto& block : catalog.blocks) out << catalog_block_line(block, times) << '\n';
    }
    for (const auto& problem : catalog_problems(catalog)) report_error(console, image + kFieldSeparator + problem);
    out.flush();
    if (times && catalog.blocks.empty() && !catalog.cut) {
        report_error(console, image + kFieldSeparator + kNoBlockText);  // as decode says it
        return false;
    }
    return catalog.sound();
}

bool decode_recording_file(const std::string& recording, const std::string& image_name, const ConsoleStreams& console)
{
    const bool to_standard_output = image_name == kStandardStream;
    std::ostream& messages = to_standard_output ? console.err : console.out;
    std::ifstream file;
    std::istream* stream = &console.in;
    if (recording == kStandardStream) {
        use_binary_mode(stdin);
    } else {
        if (!open_input_file(recording, file)) {
            report_error(console, kCannotReadText + recording + unreadable_reason(recording));
            return false;
        }
        stream = &file;
        if (!to_standard_output && same_file(recording, image_name)) {
            report_error(console, kCannotCreateText + image_name);  // it would replace the recording itself
            return false;
        }
    }
    messages << recording << kArrow << image_name << '\n' << std::flush;
    const DecodedRecording decoded = decode_recording(*stream);
    if (!decoded.error.empty() && decoded.blocks.empty()) {
        report_error(console, recording + kFieldSeparator + decoded.error);
        return false;
    }
    if (decoded.blocks.empty()) {
        report_error(console, recording + kFieldSeparator + kNoBlockText);
        return false;
    }
    for (const auto& heard : decoded.blocks) {
        if (heard.complete && heard.block.is_header()) messages << shown_file_name(heard.block) << '\n';
        if (heard.sound()) continue;
        report_error(console, recording + kFieldSeparator + heard_block_problem(heard));
    }
    messages.flush();
    if (!decoded.error.empty()) report_error(console, recording + kFieldSeparator + decoded.error);
    if (!write_output(image_name, tape_image_of(decoded.blocks), console)) {
        report_error(console, (to_standard_output ? kWriteErrorText : kCannotCreateText) + image_name);
        return false;
    }
    return decoded.sound();
}

}  // namespace

int merge_recordings(const std::vector<std::string>& takes, const std::optional<std::string>& output,
                     const ConsoleStreams& console)
{
    const std::string image_name = output ? *output : name_with_extension(takes.front(), kTapeExtension);
    const bool to_standard_output = image_name == kStandardStream;
    std::ostream& messages = to_standard_output ? console.err : console.out;
    for (const auto& take : takes)
        if (!to_standard_output && take != kStandardStream && same_file(take, image_name)) {
            report_error(console, kCannotCreateText + image_name);  // it would replace a take
            return kExitFailure;
        }
    messages << takes_heading(takes) << kArrow << image_name << '\n' << std::flush;

    int status = kExitSuccess;
    TakeSet set;
    for (const auto& take : takes) {
        InputFile input;
        if (!input.open(take, console)) {
            set.add_unread();
            status = kExitFailure;
            continue;
        }
        const std::string problem = set.add(input.stream());
        if (problem.empty()) continue;
        report_error(console, take + kFieldSeparator + problem);
        status = kExitFailure;
    }
    const MergedTape tape = set.merge();
    if (tape.heard_blocks().empty()) {
        report_error(console, image_name + kFieldSeparator + kNoBlockText);
        return kExitFailure;
    }

    const MergeReport report = merge_report(tape, takes, image_name);
    for (const auto& line : report.files) messages << line << '\n';
    messages.flush();
    for (const auto& problem : report.problems) report_error(console, problem);
    if (!report.problems.empty()) status = kExitFailure;
    if (!write_output(image_name, tape_image_of(tape.heard_blocks()), console)) {
        report_error(console, (to_standard_output ? kWriteErrorText : kCannotCreateText) + image_name);
        return kExitFailure;
    }
    return status;
}

int convert_images(const std::vector<std::string>& images, const std::optional<std::string>& output,
                   const ConsoleStreams& console)
{
    int status = kExitSuccess;
    for (const auto& image : images) {
        const std::string wav_name = output ? *output : image == kStandardStream ? kStandardStream : wav_name_for(image);
        if (!convert_image(image, wav_name, console)) status = kExitFailure;
    }
    return status;
}

int decode_recordings(const std::vector<std::string>& recordings, const std::optional<std::string>& output,
                      const ConsoleStreams& console)
{
    int status = kExitSuccess;
    for (const auto& recording : recordings) {
        const std::string image = output                          ? *output
                                  : recording == kStandardStream ? kStandardStream
                                                                  : name_with_extension(recording, kTapeExtension);
        if (!decode_recording_file(recording, image, console)) status = kExitFailure;
    }
    return status;
}

int list_images(const std::vector<std::string>& images, bool blocks, const ConsoleStreams& console)
{
    int status = kExitSuccess;
    bool listed_before = false;
    for (const auto& image : images)
        if (!list_image(image, blocks, console, listed_before)) status = kExitFailure;
    return status;
}

}  // namespace morlevix
