#pragma once
// The drop target's window: its lines, and on a terminal a progress line
// under them. That line is blanked before anything else is written, so that
// every other line comes out as it would in a pipe, where there is no
// progress line at all.

#include <chrono>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "cli/messages.hpp"

namespace halvorine::cli {

class Screen {
public:
    using Clock = std::chrono::steady_clock;
    // `write` puts text on the screen at once; `live` is whether a line may
    // be rewritten in place there; `now` reads the clock.
    Screen(std::function<void(std::string_view)> write, bool live,
           std::function<Clock::time_point()> now = &Clock::now);

    void say(std::string_view text);
    void say(Message m, std::initializer_list<std::string_view> args = {}) { say(message_text(m, args)); }

    // Shows `text` as the progress line; unless `now`, at most a few times a
    // second, as a console redrawn for every block would slow the run.
    void progress(const std::string& text, bool now);

    void clear();

private:
    static constexpr auto interval = std::chrono::milliseconds(250);
    std::function<void(std::string_view)> write_;
    bool live_;
    std::function<Clock::time_point()> now_;
    std::size_t shown_ = 0;  // characters on the progress line
    Clock::time_point shown_at_;
};

}  // namespace halvorine::cli
