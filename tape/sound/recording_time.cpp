#include "recording_time.h"

#include <cmath>
#include <cstdio>

namespace morlevix {
namespace {

constexpr int kSecondsPerMinute = 60;
constexpr double kTenthsPerSecond = 10.0;

}  // namespace

std::string recording_time_text(double seconds)
{
    const auto tenths = static_cast<long long>(std::floor(seconds * kTenthsPerSecond));
    const long long whole_seconds = tenths / 10;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", whole_seconds / kSecondsPerMinute,
                  whole_seconds % kSecondsPerMinute, tenths % 10);
    return text;
}

}  // namespace morlevix
