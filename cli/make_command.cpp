#include "cli/program_commands.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <iterator>

#include "basic/basic_program.h"
#include "cli/file_access.h"
#include "console/console_texts.h"
#include "tape/tape_catalog.h"
#include "tape/tape_contents.h"
#include "tape/tape_files.h"
#include "tape/file_names.h"

namespace morlevix {
namespace {

constexpr char kNoFileOnTape[] = "aucun fichier sur cette cassette";
constexpr char kNotOnTape[] = "pas de fichier de ce nom sur cette cassette : ";
constexpr char kNotBasic[] = "n'est pas un programme BASIC";
constexpr char kWrittenAsItIs[] = " : ecrit tel quel";
constexpr char kUnknownTokens[] = "octets qui ne sont pas des mots du BASIC de la machine, montres comme ! :";
constexpr char kNoLoadAddress[] = "adresse de chargement manquante (--load) pour ";
constexpr char kNotWritten[] = "image non ecrite";
constexpr char kAddressesForCode[] = "--load et --exec ne vont qu'avec du code machine";
constexpr char kExtractExtension[] = ".bin";
constexpr char kListingExtensions[][5] = {"bas", "txt"};
constexpr char kAsciiLineEnd = '\r';
constexpr std::uint8_t kAsciiSaved = 0xFF;
constexpr int kHexBase = 16;
constexpr unsigned long kHighestAddress = 0xFFFF;

std::string trimmed(std::string name)
{
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

// The file of a tape that a command works on, found and read; or a message.
struct FoundFile {
    std::vector<TapeFileContents> files;
    const TapeFileContents* file = nullptr;
};

bool find_file(const std::string& tape, const std::optional<std::string>& name, const ConsoleStreams& console,
               FoundFile& found)
{
    InputFile input;
    if (!input.open(tape, console)) return false;
    const TapeContents contents = read_tape_contents(input.stream());
    if (!contents.error.empty() && contents.blocks.empty()) {
        report_error(console, tape + kFieldSeparator + contents.error);
        return false;
    }
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

std::vector<std::uint8_t> bytes_of(const std::string& text) { return std::vector<std::uint8_t>(text.begin(), text.end()); }

// A name that is safe as a file name, whatever the tape's name holds.
std::string safe_file_name(const std::string& name)
{
    std::string safe;
    for (char c : trimmed(name))
        safe += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ? c : '_';
    return safe.empty() ? "fichier" : safe;
}

bool is_listing(const std::string& path)
{
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || dot < file_name_start(path)) return false;
    std::string extension = path.substr(dot + 1);
    for (auto& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::any_of(std::begin(kListingExtensions), std::end(kListingExtensions),
                       [&](const char* e) { return extension == e; });
}

// The tape file's name for a source: its file name up to the first dot,
// upper-cased, at most 8 characters.
std::string tape_name_for(const std::string& path)
{
    std::string name = path.substr(file_name_start(path));
    name = name.substr(0, name.find('.'));
    for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name.substr(0, kNameLength);
}

std::vector<std::uint8_t> read_all(const std::string& path, const ConsoleStreams& console, bool& ok)
{
    InputFile input;
    ok = input.open(path, console);
    if (!ok) return {};
    std::istream& in = input.stream();
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

std::optional<std::uint16_t> parse_address(const std::string& text)
{
    std::string digits = text;
    if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0) digits = digits.substr(2);
    else if (!digits.empty() && digits[0] == '$') digits = digits.substr(1);
    if (digits.empty() || digits.size() > 4 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
        return std::nullopt;
    const unsigned long value = std::stoul(digits, nullptr, kHexBase);
    if (value > kHighestAddress) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

int show_basic(const std::string& tape, const std::optional<std::string>& file_name,
               const std::optional<std::string>& output, const ConsoleStreams& console)
{
    FoundFile found;
    if (!find_file(tape, file_name, console, found)) return kExitFailure;
    const TapeFileContents& file = *found.file;
    const std::string where = tape + kFieldSeparator + trimmed(file.info.name) + kFieldSeparator;
    if (file.info.file_type != kBasicFile) {
        report_error(console, where + kNotBasic + " (" + file_type_text(file.info.file_type) + ")");
        return kExitFailure;
    }
    int status = file.whole ? kExitSuccess : kExitFailure;
    std::string text;
    if (file.info.ascii_flag == kAsciiSaved) {
        // Saved as text: the lines as they are, each ending in a carriage return.
        text.assign(file.bytes.begin(), file.bytes.end());
        std::replace(text.begin(), text.end(), kAsciiLineEnd, '\n');
        if (!text.empty() && text.back() != '\n') text += '\n';
    } else {
        const BasicListing listing = list_basic_program(file.bytes);
        text = listing.text;
        for (const auto& problem : listing.problems) {
            report_error(console, where + problem);
            status = kExitFailure;
        }
        if (!listing.unknown_tokens.empty()) {
            std::string bytes;
            for (auto b : listing.unknown_tokens) bytes += " " + hex_byte(b);
            report_error(console, where + kUnknownTokens + bytes);
        }
    }
    if (!file.whole) report_error(console, where + kDamagedFileText + kWrittenAsItIs);
    const std::string target = output ? *output : kStandardStream;
    if (!write_output(target, bytes_of(text), console)) {
        report_error(console, kCannotCreateText + target);
        return kExitFailure;
    }
    return status;
}

int extract_file(const std::string& tape, const std::string& file_name, const std::optional<std::string>& output,
                 const ConsoleStreams& console)
{
    FoundFile found;
    if (!find_file(tape, file_name, console, found)) return kExitFailure;
    const TapeFileContents& file = *found.file;
    const std::string target = output ? *output : safe_file_name(file.info.name) + kExtractExtension;
    std::ostream& messages = target == kStandardStream ? console.err : console.out;
    messages << tape << kFieldSeparator << trimmed(file.info.name) << kArrow << target << '\n' << std::flush;
    if (!file.whole)
        report_error(console, tape + kFieldSeparator + trimmed(file.info.name) + kFieldSeparator + kDamagedFileText +
                                  kWrittenAsItIs);
    if (!write_output(target, file.bytes, console)) {
        report_error(console, kCannotCreateText + target);
        return kExitFailure;
    }
    return file.whole ? kExitSuccess : kExitFailure;
}

int make_tape(const std::vector<TapeSource>& sources, bool mc10, const std::optional<std::string>& output,
              const ConsoleStreams& console)
{
    const std::string target = output ? *output : name_with_extension(sources.front().path, kTapeExtension);
    std::ostream& messages = target == kStandardStream ? console.err : console.out;
    std::vector<NewTapeFile> files;
    bool failed = false;
    for (const auto& source : sources) {
        bool ok = false;
        const auto bytes = read_all(source.path, console, ok);
        if (!ok) {
            failed = true;
            continue;
        }
        if (target != kStandardStream && source.path != kStandardStream && same_file(source.path, target)) {
            report_error(console, kCannotCreateText + target);  // it would replace a source
            return kExitFailure;
        }
        NewTapeFile file;
        file.name = source.name ? *source.name : tape_name_for(source.path);
        if (is_listing(source.path)) {
            if (source.load || source.exec) {
                report_error(console, source.path + kFieldSeparator + kAddressesForCode);
                failed = true;
                continue;
            }
            const auto program =
                tokenize_basic_listing(std::string(bytes.begin(), bytes.end()), mc10 ? kMc10ProgramStart : kAliceProgramStart);
            for (const auto& warning : program.warnings) report_error(console, source.path + kFieldSeparator + warning);
            for (const auto& error : program.errors) report_error(console, source.path + kFieldSeparator + error);
            failed = failed || !program.errors.empty();
            file.file_type = kBasicFile;
            file.second_address = static_cast<std::uint16_t>(program.bytes.size());
            file.bytes = program.bytes;
        } else {
            if (!source.load) {
                report_error(console, kNoLoadAddress + source.path);
                failed = true;
                continue;
            }
            file.file_type = kMachineCodeFile;
            file.first_address = source.exec ? *source.exec : *source.load;
            file.second_address = *source.load;
            file.bytes = bytes;
        }
        messages << source.path << kArrow << target << kFieldSeparator << file.name << '\n';
        files.push_back(std::move(file));
    }
    if (failed) {
        report_error(console, target + kFieldSeparator + kNotWritten);
        return kExitFailure;
    }
    if (!write_output(target, tape_image_of_files(files), console)) {
        report_error(console, kCannotCreateText + target);
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace morlevix
