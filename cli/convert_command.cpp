// convert: each tape image becomes its WAV, the very file the batch writes.
#include <iostream>

#include "cli/commands.h"
#include "cli/file_access.h"
#include "console/console_modes.h"
#include "console/console_texts.h"
#include "common/file_names.h"
#include "tape/catalog/tape_catalog.h"
#include "tape/encoder/tape_image_converter.h"

namespace morlevix {
namespace {

constexpr Text kTruncatedExplanation{" : l'image finit au milieu de ce bloc", ": the image ends inside this block"};

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

}  // namespace

int run_convert(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    const CommandArguments parsed = read_arguments(words);
    const NamedFiles named = files_to_work_on(parsed, kNoImageGiven, kSingleImage, false, console);
    int status = named.status;
    if (status == kExitUsage) return status;
    for (const auto& image : named.files) {
        // Each image (or standard input) into the WAV beside it, or -o's.
        const std::string wav_name = parsed.output              ? *parsed.output
                                     : image == kStandardStream ? kStandardStream
                                                                : wav_name_for(image);
        if (!convert_image(image, wav_name, console)) status = kExitFailure;
    }
    return status;
}

}  // namespace morlevix
