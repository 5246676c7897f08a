// What decode shows on a terminal while it hears a recording, for the
// person at the deck: a status line kept in place (the time into the
// recording, its level, the file and block being read), and a line for each
// file as its header is heard and for each problem once it is settled, so
// that a stretch can be recorded again while the tape is still in the deck.
// A problem is told once a second reading can no longer mend it (the block
// it is about lies a few seconds back); the final lines, after the
// recording's end, are those decode always prints. Shown only once
// decoding has gone on for a moment (a file read in a fraction of a second
// shows nothing), and redrawn a few times a second at most.
#pragma once

#include <chrono>
#include <cstddef>
#include <set>
#include <string>

#include "console/console_streams.h"
#include "tape/reading/recording_converter.h"

namespace morlevix {

class LiveView final : public DecodingWatcher {
public:
    LiveView(const ConsoleStreams& console, std::string recording);
    LiveView(const LiveView&) = delete;
    LiveView& operator=(const LiveView&) = delete;

    void heard(const DecodingProgress& progress) override;
    // The recording has ended: the status line goes, for the final lines.
    void finish();

private:
    using Clock = std::chrono::steady_clock;

    void draw(const DecodingProgress& progress);
    // A line of its own, where the status line was.
    void tell(const std::string& line);
    void clear_status();

    const ConsoleStreams& console_;
    std::string recording_;
    Clock::time_point started_;
    Clock::time_point drawn_;
    bool showing_ = false;
    std::size_t status_width_ = 0;
    std::size_t headers_told_ = 0;
    std::set<std::string> problems_told_;
};

}  // namespace morlevix
