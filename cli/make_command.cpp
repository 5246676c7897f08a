// make: a tape image of listings (tokenized as the machine does when they
// are typed) and binaries (machine code), one file each.
#include <algorithm>
#include <cctype>
#include <iostream>
#include <iterator>

#include "basic/basic_program.h"
#include "cli/commands.h"
#include "cli/file_access.h"
#include "console/console_texts.h"
#include "common/file_names.h"
#include "tape/catalog/tape_files.h"

namespace morlevix {
namespace {

constexpr Text kNoSource{"aucune source donnee", "no source given"};
constexpr Text kLongName{"un nom sur la cassette a 8 caracteres au plus : ", "a name on the tape has 8 characters at most: "};
constexpr Text kBadAddress{"adresse hexadecimale de 0 a ffff attendue : ", "hexadecimal address from 0 to ffff expected: "};
constexpr Text kDanglingOption{"une option sans SOURCE apres elle : --", "an option with no SOURCE after it: --"};
constexpr Text kNoLoadAddress{"adresse de chargement manquante (--load) pour ", "load address missing (--load) for "};
constexpr Text kNotWritten{"image non ecrite", "image not written"};
constexpr Text kAddressesForCode{"--load et --exec ne vont qu'avec du code machine", "--load and --exec go with machine code only"};
constexpr char kListingExtensions[][5] = {"bas", "txt"};
constexpr int kHexBase = 16;
constexpr unsigned long kHighestAddress = 0xFFFF;

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

// A hex address as typed ("3346", "0x3346", "$3346"), or nothing.
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

// One file of a tape to make, with the options given before it.
struct TapeSource {
    std::string path;
    std::optional<std::string> name;    // --name
    std::optional<std::uint16_t> load;  // --load
    std::optional<std::uint16_t> exec;  // --exec
};

// A tape image holding one file per source: a .bas or .txt listing
// tokenized for the Alice (or the MC-10), anything else as machine code.
// Written to `output`, by default beside the first source.
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
        messages << source.path << kArrow << target << console(kFieldSeparator) << file.name << '\n';
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

}  // namespace

// The options before a source apply to that source.
int run_make(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    std::vector<TapeSource> sources;
    TapeSource next;
    std::optional<std::string> output;
    bool mc10 = false;
    std::string pending;  // an option waiting for its source
    for (const auto& word : words) {
        if (word.is_file()) {
            next.path = word.value;
            sources.push_back(next);
            next = TapeSource{};
            pending.clear();
        } else if (word.option == kOutputOption) {
            output = word.value;
        } else if (word.option == kMc10Option) {
            mc10 = true;
        } else if (word.option == kNameOption) {
            if (word.value.empty() || word.value.size() > kNameLength) return usage_error(console, kLongName + word.value);
            next.name = word.value;
            pending = word.option;
        } else {
            const auto address = parse_address(word.value);
            if (!address) return usage_error(console, kBadAddress + word.value);
            (word.option == kLoadOption ? next.load : next.exec) = address;
            pending = word.option;
        }
    }
    if (!pending.empty()) return usage_error(console, kDanglingOption + pending);
    if (sources.empty()) return usage_error(console, kNoSource);
    return make_tape(sources, mc10, output, console);
}

}  // namespace morlevix
