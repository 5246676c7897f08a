#include "batch/batch_conversion.h"

#include <ostream>

#include "console/console_texts.h"
#include "common/file_names.h"
#include "tape/catalog/tape_catalog.h"

namespace morlevix {

void BatchConsoleReport::file_header(const std::string& name) { console_ << '\n' << name; }

void BatchConsoleReport::truncated_block(std::uint8_t shown)
{
    console_ << '\n' << kTruncatedBlockText.fr << hex_byte(shown);
}

void BatchConsoleReport::too_long() { console_ << '\n' << kTooLongText.fr; }

void convert_tape_image(const std::string& name, std::ostream& console)
{
    const std::string wav_name = wav_name_for(name);
    BatchConsoleReport report(console);
    switch (convert_tape_file(name, wav_name, report)) {
    case FileConversion::cannot_read: console << '\n' << kCannotReadText.fr << name; break;
    case FileConversion::cannot_create: console << '\n' << kCannotCreateText.fr << wav_name; break;
    case FileConversion::write_failed: console << '\n' << kWriteErrorText.fr << wav_name; break;
    case FileConversion::converted:
    case FileConversion::truncated:
    case FileConversion::too_long: break;
    }
}

}  // namespace morlevix
