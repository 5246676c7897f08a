// A time in a recording as the console shows it.
#pragma once

#include <string>

namespace morlevix {

// Minutes, seconds and tenths, the tenths cut rather than rounded (a block
// said at 2:05.3 starts in that tenth): "2:05.3".
std::string recording_time_text(double seconds);

}  // namespace morlevix
