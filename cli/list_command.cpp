// list: what each tape holds, an image or a recording decoded in memory:
// its files, with --blocks every block, and what is wrong on standard error.
#include <iostream>

#include "cli/commands.h"
#include "cli/file_access.h"
#include "tape/recording_converter.h"
#include "tape/tape_catalog.h"
#include "tape/tape_contents.h"

namespace morlevix {
namespace {

constexpr char kNoImageGiven[] = "aucune image donnee";
constexpr char kSingleImage[] = "-o ne va qu'avec une seule image";
constexpr char kNoFile[] = "  aucun fichier";

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

}  // namespace

int run_list(const std::vector<CommandWord>& words, const ConsoleStreams& console)
{
    const CommandArguments parsed = read_arguments(words);
    const NamedFiles named = files_to_work_on(parsed, kNoImageGiven, kSingleImage, false, console);
    int status = named.status;
    if (status == kExitUsage) return status;
    bool listed_before = false;
    for (const auto& image : named.files)
        if (!list_image(image, parsed.blocks, console, listed_before)) status = kExitFailure;
    return status;
}

}  // namespace morlevix
