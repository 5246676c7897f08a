#include "batch/image_listing.h"

#include "console/file_patterns.h"
#include "common/file_names.h"

namespace morlevix {

std::vector<std::string> list_tape_images(const std::string& pattern)
{
    return list_matching_files(pattern + kTapeExtension);
}

}  // namespace morlevix
