// One image converted for the batch: its WAV beside it, under its name cut
// at the first dot, and the batch's console lines on the way, each starting
// with a line break.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "tape/encoder/tape_image_converter.h"

namespace morlevix {

// The batch's console lines of a conversion.
class BatchConsoleReport final : public ConversionReport {
public:
    explicit BatchConsoleReport(std::ostream& console) : console_(console) {}
    void file_header(const std::string& name) override;
    void truncated_block(std::uint8_t shown) override;
    void too_long() override;

private:
    std::ostream& console_;
};

// Converts the image file `name` into the WAV file beside it, saying on
// `console`, in the batch's words, what went wrong.
void convert_tape_image(const std::string& name, std::ostream& console);

}  // namespace morlevix
