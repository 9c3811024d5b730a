#include "cli/messages.hpp"

#include <array>
#include <cstdio>

#if defined(_WIN32)
#include <windows.h>

#include "convert/utf16.hpp"
#endif

namespace halvorine::cli {

namespace {

struct Entry {
    Message id;
    std::string_view text;
    bool line_end;
};

// Scripts match these byte for byte: keep texts and line ends exactly so.
constexpr std::array catalogue{
    Entry{Message::usage, "Give a single filename as argument to this program. (ex sim.wav)", false},
    Entry{Message::bad_name, "File name incorrect", true},
    Entry{Message::banner, "\n Convert %s to Halvorine format (%s)\n\n", false},
    Entry{Message::input_not_opened, "Could not open %s", false},
    Entry{Message::output_not_created, "Could not open %s\n", false},
    Entry{Message::format_tag_rejected, "Unknown wFormatTag.", false},
    Entry{Message::header_error, "Error in .wav file header [%d]", false},
    Entry{Message::write_failure, "\nERROR: Failed to write output file.", true},
    Entry{Message::read_failure, "\nERROR: Failed to read input file.", true},
};

const Entry& entry(Message m) {
    for (const auto& e : catalogue) {
        if (e.id == m) return e;
    }
    return catalogue.front();  // unreachable: every Message has an entry
}

#if defined(_WIN32)
// A console shows every script only when given UTF-16; a file or a pipe gets
// the UTF-8 bytes, as on Linux. False when stdout is no console.
bool shown_on_console(const std::string& text) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode) == 0) return false;
    const std::wstring utf16 = wide(text);
    DWORD written = 0;
    return WriteConsoleW(out, utf16.data(), static_cast<DWORD>(utf16.size()), &written, nullptr) != 0;
}
#endif

}  // namespace

std::string message_text(Message m, std::initializer_list<std::string_view> args) {
    const Entry& e = entry(m);
    std::string text;
    const auto* arg = args.begin();
    for (std::size_t i = 0; i < e.text.size(); ++i) {
        const bool placeholder = e.text[i] == '%' && i + 1 < e.text.size() &&
                                 (e.text[i + 1] == 's' || e.text[i + 1] == 'd');
        if (placeholder && arg != args.end()) {
            text += *arg++;
            ++i;
        } else {
            text += e.text[i];
        }
    }
    if (e.line_end) text += '\n';
    return text;
}

void say(Message m, std::initializer_list<std::string_view> args) {
    const std::string text = message_text(m, args);
#if defined(_WIN32)
    if (shown_on_console(text)) return;
#endif
    std::fwrite(text.data(), 1, text.size(), stdout);
    // Scripts that log the output see the banner before a long conversion.
    std::fflush(stdout);
}

}  // namespace halvorine::cli
