#include "cli/live_view.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <utility>
#include <vector>

#include "tape/account/tape_account.h"
#include "tape/catalog/tape_catalog.h"

namespace morlevix {
namespace {

// Nothing is shown before decoding has gone on this long (seconds of the
// clock on the wall), nor redrawn more often than this.
constexpr double kShowAfterSeconds = 2.0;
constexpr double kRedrawSeconds = 0.25;
// A problem is settled once its time lies this far behind what was heard
// (seconds of the recording): a second reading reads the longest block at
// the slowest speed, and a little more, before it gives up on a block.
constexpr double kSettledSeconds = 3.0;

constexpr Text kLevel{"niveau ", "level "};
constexpr Text kDecibels{" dBFS", " dBFS"};
constexpr Text kNoFileYet{"pas encore de fichier", "no file yet"};
constexpr Text kBlockNumber{"  bloc ", "  block "};
constexpr Text kFile{"fichier ", "file "};
constexpr char kIndent[] = "  ";
constexpr char kColumns[] = "  ";

double seconds_between(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

std::string level_text(double decibels)
{
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", decibels);
    return text;
}

}  // namespace

LiveView::LiveView(const ConsoleStreams& console, std::string recording)
    : console_(console), recording_(std::move(recording)), started_(Clock::now()), drawn_(started_)
{
}

void LiveView::heard(const DecodingProgress& progress)
{
    const Clock::time_point now = Clock::now();
    if (seconds_between(started_, now) < kShowAfterSeconds) return;
    if (showing_ && seconds_between(drawn_, now) < kRedrawSeconds) return;
    drawn_ = now;
    showing_ = true;
    draw(progress);
}

void LiveView::draw(const DecodingProgress& progress)
{
    // Each file as its header is heard, and each problem once no reading
    // to come can mend it, in the order of their times.
    std::vector<std::pair<double, std::string>> news;
    const auto& blocks = progress.blocks;
    std::size_t headers = 0;
    const HeardBlock* last_header = nullptr;
    std::size_t blocks_since = 0;
    for (const auto& heard : blocks) {
        ++blocks_since;
        if (!opens_file(heard) || !heard.complete) continue;
        last_header = &heard;
        blocks_since = 0;
        if (headers++ < headers_told_) continue;
        news.emplace_back(heard.seconds, console_(kFile) + shown_file_name(heard.block));
    }
    headers_told_ = std::max(headers_told_, headers);
    const AccountedBlocks accounted =
        account_for_heard(blocks, progress.stretches, progress.seconds, RecordingEnd::still_coming);
    for (const auto& problem : accounted.account.problems) {
        if (problem.seconds > progress.seconds - kSettledSeconds) continue;
        const std::string& text = console_(problem.text);
        if (problems_told_.insert(text).second) news.emplace_back(problem.seconds, text);
    }
    std::stable_sort(news.begin(), news.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [seconds, text] : news) tell(kIndent + recording_time_text(seconds) + kColumns + text);

    // Where it is now.
    std::string status = kIndent + recording_time_text(progress.seconds) + kColumns + console_(kLevel) +
                         level_text(progress.level()) + console_(kDecibels) + kColumns;
    if (last_header)
        status += shown_file_name(last_header->block) + console_(kBlockNumber) + std::to_string(blocks_since);
    else
        status += console_(kNoFileYet);
    clear_status();
    console_.err << status << std::flush;
    status_width_ = status.size();
}

void LiveView::tell(const std::string& line)
{
    clear_status();
    console_.err << line << '\n';
}

void LiveView::clear_status()
{
    if (status_width_ == 0) return;
    console_.err << '\r' << std::string(status_width_, ' ') << '\r';
    status_width_ = 0;
}

void LiveView::finish()
{
    clear_status();
    console_.err << std::flush;
}

}  // namespace morlevix
