#include "cli/file_access.h"

#include <filesystem>
#include <iostream>
#include <iterator>
#include <system_error>

#include "console/console_modes.h"
#include "console/console_texts.h"
#include "console/file_patterns.h"
#include "common/file_names.h"
#include "common/file_replacement.h"
#include "tape/sound/recording_input.h"
#include "tape/reading/tape_contents.h"

namespace morlevix {
namespace {

constexpr Text kNoSuchFile{" (fichier introuvable)", " (no such file)"};
constexpr Text kIsADirectory{" (c'est un dossier)", " (it is a folder)"};
constexpr Text kNothingMatches{"Fichier introuvable", "No such file"};
constexpr Text kHint{" (morlevix --help pour l'aide)", " (morlevix --help for help)"};
constexpr Text kNoFileOnTape{"aucun fichier sur cette cassette", "no file on this tape"};
constexpr Text kNotOnTape{"pas de fichier de ce nom sur cette cassette : ", "no file of that name on this tape: "};

}  // namespace

void report_error(const ConsoleStreams& console, const Said& text)
{
    console.out.flush();
    console.err << kProgramPrefix << console(text) << '\n' << std::flush;
}

int usage_error(const ConsoleStreams& console, const Said& problem)
{
    console.err << kProgramPrefix << console(problem) << console(kHint) << '\n' << std::flush;
    return kExitUsage;
}

Said unreadable_reason(const std::string& name)
{
    std::error_code error;
    const auto path = path_from_name(name);
    if (!std::filesystem::exists(path, error)) return kNoSuchFile;
    if (std::filesystem::is_directory(path, error)) return kIsADirectory;
    return {};
}

bool InputFile::open(const std::string& name, const ConsoleStreams& console)
{
    if (name != kStandardStream) {
        if (open_input_file(name, file_)) return true;
        error_ = kCannotReadText + name + unreadable_reason(name);
        report_error(console, error_);
        return false;
    }
    use_binary_mode(stdin);
    return read_whole_input({}, console);
}

bool InputFile::read_whole_input(const std::string& start, const ConsoleStreams& console)
{
    std::string bytes(std::istreambuf_iterator<char>(console.in), {});
    if (console.in.bad()) {
        error_ = kCannotReadText + std::string(kStandardStream);
        report_error(console, error_);
        return false;
    }
    memory_.str(start + bytes);
    from_memory_ = true;
    return true;
}

ReadOnBuffer::int_type ReadOnBuffer::underflow()
{
    chunk_.resize(kChunk);
    const std::streamsize got = rest_.sgetn(chunk_.data(), static_cast<std::streamsize>(chunk_.size()));
    if (got <= 0) return traits_type::eof();
    before_buffer_ += egptr() - eback();
    setg(chunk_.data(), chunk_.data(), chunk_.data() + got);
    return traits_type::to_int_type(chunk_.front());
}

ReadOnBuffer::pos_type ReadOnBuffer::seekoff(off_type offset, std::ios_base::seekdir from, std::ios_base::openmode which)
{
    const off_type here = before_buffer_ + (gptr() - eback());
    if (from == std::ios_base::cur) return offset == 0 ? pos_type(here) : seekpos(pos_type(here + offset), which);
    if (from == std::ios_base::beg) return seekpos(pos_type(offset), which);
    return pos_type(off_type(-1));  // the end is not known before it comes
}

ReadOnBuffer::pos_type ReadOnBuffer::seekpos(pos_type position, std::ios_base::openmode)
{
    const auto at = static_cast<off_type>(position);
    if (!in_start() || at < 0 || at > static_cast<off_type>(start_.size())) return pos_type(off_type(-1));
    setg(start_.data(), start_.data() + at, start_.data() + start_.size());
    return position;
}

bool InputFile::open_recording(const std::string& name, const ConsoleStreams& console)
{
    if (name != kStandardStream) return open(name, console);
    use_binary_mode(stdin);
    std::string start(kFileKindBytes, '\0');
    console.in.read(start.data(), static_cast<std::streamsize>(start.size()));
    start.resize(static_cast<std::size_t>(console.in.gcount()));
    std::istringstream head(start);
    if (file_kind_of(head) != FileKind::wav) return read_whole_input(start, console);
    read_on_buffer_ = std::make_unique<ReadOnBuffer>(std::move(start), *console.in.rdbuf());
    read_on_ = std::make_unique<std::istream>(read_on_buffer_.get());
    return true;
}

bool write_output(const std::string& name, const std::vector<std::uint8_t>& bytes, const ConsoleStreams& console)
{
    if (name == kStandardStream) {
        use_binary_mode(stdout);
        StreamSink sink(console.out);
        return sink.write(bytes.data(), bytes.size()) && sink.close();
    }
    std::error_code ignored;
    if (std::filesystem::is_directory(path_from_name(name), ignored)) return false;
    FileReplacement file(path_from_name(name));
    return file.is_open() && file.sink().write(bytes.data(), bytes.size()) && file.commit();
}

std::vector<std::string> expand_file_arguments(const std::vector<std::string>& args, bool expand_wildcards,
                                               const ConsoleStreams& console, int& status)
{
    std::vector<std::string> files;
    for (const auto& arg : args) {
        if (!expand_wildcards || arg == kStandardStream || !has_wildcards(arg)) {
            files.push_back(arg);
            continue;
        }
        const auto matches = list_matching_files(arg);
        if (matches.empty()) {
            console.err << kProgramPrefix << arg << console(kFieldSeparator) << console(kNothingMatches) << '\n' << std::flush;
            status = kExitFailure;
        }
        files.insert(files.end(), matches.begin(), matches.end());
    }
    return files;
}


NamedFiles files_to_work_on(const CommandArguments& parsed, Text none_given, Text single,
                            bool several_into_one, const ConsoleStreams& console)
{
    NamedFiles named;
    if (parsed.files.empty()) {
        named.status = usage_error(console, none_given);
        return named;
    }
    if (parsed.output && parsed.files.size() > 1 && !several_into_one) {
        named.status = usage_error(console, single);
        return named;
    }
    named.files = expand_file_arguments(parsed.files, kProgramExpandsWildcards, console, named.status);
    if (parsed.output && named.files.size() > 1 && !several_into_one) {
        named.files.clear();
        named.status = usage_error(console, single);
    }
    return named;
}

bool find_file_on_tape(const std::string& tape, const std::optional<std::string>& name, const ConsoleStreams& console,
                       FoundFile& found)
{
    InputFile input;
    if (!input.open(tape, console)) return false;
    const TapeContents contents = read_tape_contents(input.stream());
    if (!contents.error.empty() && contents.blocks.empty()) {
        report_error(console, tape + kFieldSeparator + contents.error);
        return false;
    }
    // A recording that stopped short (a FLAC cut, say): what it holds is
    // still there, and the cut is said.
    if (!contents.error.empty()) report_error(console, tape + kFieldSeparator + contents.error);
    found.files = files_on_tape(contents.blocks);
    if (found.files.empty()) {
        report_error(console, tape + kFieldSeparator + kNoFileOnTape);
        return false;
    }
    found.file = name ? find_tape_file(found.files, *name) : &found.files.front();
    if (found.file == nullptr) {
        report_error(console, tape + kFieldSeparator + kNotOnTape + *name);
        return false;
    }
    return true;
}

std::string trimmed(std::string name)
{
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

}  // namespace morlevix
