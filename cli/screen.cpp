#include "cli/screen.hpp"

#include <algorithm>
#include <utility>

namespace halvorine::cli {

Screen::Screen(std::function<void(std::string_view)> write, bool live, std::function<Clock::time_point()> now)
    : write_(std::move(write)), live_(live), now_(std::move(now)) {}

void Screen::say(std::string_view text) {
    clear();
    write_(text);
}

void Screen::progress(const std::string& text, bool now) {
    if (!live_) return;
    const auto t = now_();
    if (!now && t - shown_at_ < interval) return;
    std::string line(1, '\r');
    line += text;
    if (text.size() < shown_) line.append(shown_ - text.size(), ' ');
    write_(line);
    shown_ = std::max(shown_, text.size());
    shown_at_ = t;
}

void Screen::clear() {
    if (shown_ == 0) return;
    std::string blank(shown_ + 2, ' ');
    blank.front() = blank.back() = '\r';
    write_(blank);
    shown_ = 0;
}

}  // namespace halvorine::cli
