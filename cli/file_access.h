// What every command does with files: open the one it reads (a file, or
// standard input for "-"), write the one it makes (replacing a file only
// once the new one is whole, or to standard output for "-"), and say on
// standard error what went wrong, naming the file.
#pragma once

#include <cstdint>
#include <fstream>
#include <iosfwd>
#include <memory>
#include <streambuf>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/argument_words.h"
#include "console/console_streams.h"
#include "tape/catalog/tape_files.h"

namespace morlevix {

// Standard input or output, where a file name is expected.
inline constexpr char kStandardStream[] = "-";

// Console texts of the command line.
inline constexpr char kProgramPrefix[] = "morlevix: ";
inline constexpr char kArrow[] = " -> ";
inline constexpr Text kWrittenAsItIs{" : ecrit tel quel", ": written as it is"};
inline constexpr Text kNoImageGiven{"aucune image donnee", "no image given"};
inline constexpr Text kSingleImage{"-o ne va qu'avec une seule image", "-o goes with a single image only"};

// An error line on `err`, after everything `out` holds so far.
void report_error(const ConsoleStreams& console, const Said& text);
// A command line that is wrong: one line on `err`, and the status it ends with.
int usage_error(const ConsoleStreams& console, const Said& problem);

// Standard input read on after its first bytes, which were read already
// to tell what it holds: those bytes, then the rest as it comes. A reader
// may look at the first bytes and go back to the start, as it does in a
// file, until it reads past them.
class ReadOnBuffer final : public std::streambuf {
public:
    ReadOnBuffer(std::string start, std::streambuf& rest) : start_(std::move(start)), rest_(rest)
    {
        setg(start_.data(), start_.data(), start_.data() + start_.size());
    }

protected:
    int_type underflow() override;
    pos_type seekoff(off_type offset, std::ios_base::seekdir from, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override;

private:
    static constexpr std::size_t kChunk = 65536;
    bool in_start() const { return eback() == start_.data(); }

    std::string start_;
    std::streambuf& rest_;
    std::vector<char> chunk_;
    off_type before_buffer_ = 0;  // bytes read before the buffer in hand
};

// A file opened for reading: a file on disk, or standard input read whole
// (so that it can be read twice, as a WAV sized first needs).
class InputFile {
public:
    // Opens `name`, or says on the console why it cannot.
    bool open(const std::string& name, const ConsoleStreams& console);
    // The same for a recording: standard input that holds a WAV (a sound
    // card's capture piped in, say) is read as it comes, in flat memory;
    // any other recording is read whole, for its reader seeks in it.
    bool open_recording(const std::string& name, const ConsoleStreams& console);
    // Why it could not be opened, as the console said it.
    const Said& error() const { return error_; }
    std::istream& stream()
    {
        if (read_on_) return *read_on_;
        return from_memory_ ? static_cast<std::istream&>(memory_) : file_;
    }

private:
    // Standard input read to its end after `start`, its first bytes.
    bool read_whole_input(const std::string& start, const ConsoleStreams& console);

    std::ifstream file_;
    std::istringstream memory_;
    bool from_memory_ = false;
    std::unique_ptr<ReadOnBuffer> read_on_buffer_;
    std::unique_ptr<std::istream> read_on_;
    Said error_;
};

// Why a file cannot be read, when the file system can tell: " (...)".
Said unreadable_reason(const std::string& name);

// Writes `bytes` to the file `name`, which takes that name only once whole,
// or to standard output for "-". False when that fails.
bool write_output(const std::string& name, const std::vector<std::uint8_t>& bytes, const ConsoleStreams& console);

// The files that the command-line arguments name: on systems where the
// program expands wildcards itself, each argument with a wildcard becomes
// the files that match it (an argument that matches none is reported on
// the console and sets `status` to a failure). "-" is kept as it is.
std::vector<std::string> expand_file_arguments(const std::vector<std::string>& args, bool expand_wildcards,
                                               const ConsoleStreams& console, int& status);

// The files that convert, list and decode work on: the files among their
// words, expanded where the shell leaves wildcards. `status` is a usage
// error when none is named (`none_given`) or when -o goes with several
// (`single`) but for `several_into_one` (a merge); a failure when a
// pattern matched nothing.
struct NamedFiles {
    std::vector<std::string> files;
    int status = kExitSuccess;
};
NamedFiles files_to_work_on(const CommandArguments& parsed, Text none_given, Text single,
                            bool several_into_one, const ConsoleStreams& console);

// A file on a tape that basic and extract work on, found by its name (or
// the tape's first file), with every file of the tape; nullptr after a
// line on the console that says why not.
struct FoundFile {
    std::vector<TapeFileContents> files;
    const TapeFileContents* file = nullptr;
};
bool find_file_on_tape(const std::string& tape, const std::optional<std::string>& name, const ConsoleStreams& console,
                       FoundFile& found);

// A tape file's name without the spaces that pad it.
std::string trimmed(std::string name);


}  // namespace morlevix
