#include "cli/messages.hpp"

#include <array>

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
    // A file's own lines may end without a line end, so these start on a new
    // line of their own.
    // Started with no file: what it does, then how it is reached, which is
    // Explorer's drop and menu on Windows, a file manager and a terminal
    // elsewhere.
    Entry{Message::drop_usage, "Converts WAV recordings to the Halvorine format (.ddc), each next to its recording.",
          true},
    Entry{Message::drop_usage_windows,
          "Drop .wav files on this program or its shortcut, or right-click them and choose "
          "\"Convert to Halvorine (.ddc)\".",
          true},
    Entry{Message::drop_usage_desktop,
          "Open .wav files with \"Convert to Halvorine (.ddc)\" in a file manager, "
          "or give it files and folders in a terminal: halvorine-drop FILE.wav FOLDER...",
          true},
    Entry{Message::drop_missing, "\nNot converted: %s was not found.", true},
    Entry{Message::drop_no_wav, "\nNot converted: %s holds no .wav file.", true},
    Entry{Message::drop_unreadable, "\nNot converted: the folder %s cannot be read.", true},
    Entry{Message::drop_partly_read, "\nNot converted: the rest of the folder %s, which cannot be read to its end.",
          true},
    Entry{Message::drop_no_path,
          "\nNot converted: items chosen that are not files on a drive (on a phone, or inside a zip folder): %d.", true},
    Entry{Message::drop_not_file, "\nNot converted: %s is a pipe or a device, not a file.", true},
    Entry{Message::drop_changed,
          "\nNot converted: the recordings in the folder %s, which was moved or replaced after it was listed.", true},
    Entry{Message::drop_clash, "\nNot converted: %s would replace %s, already made from %s.", true},
    Entry{Message::drop_not_own_file,
          "\nNot converted: %s, as its output %s is a link, a pipe, a device or a file with more than one name.", true},
    Entry{Message::drop_summary, "\n%d converted, %d failed", true},
    // Under the summary, one line for each failure: a recording's path and
    // the first line its run said, or the drop target's own line.
    Entry{Message::drop_failed_run, "  %s: %s", true},
    Entry{Message::drop_failed_note, "  %s", true},
    // Its own line under the summary, there only when something was skipped:
    // the count, then by kind those that are not 0, joined by ", ".
    Entry{Message::drop_skipped, "%d skipped: %s", true},
    Entry{Message::drop_skipped_links, "links %d", false},
    Entry{Message::drop_skipped_hidden, "hidden or system %d", false},
    Entry{Message::drop_skipped_other, "not .wav files %d", false},
    Entry{Message::drop_press_key, "Press a key to close this window.", true},
    // Rewritten in place on a terminal, so without a line end.
    Entry{Message::drop_listing, "Looking for recordings: %d found", false},
    Entry{Message::drop_progress, "Converting %d of %d", false},
    Entry{Message::drop_progress_bytes, "Converting %d of %d: %d of %d MB", false},
};

const Entry& entry(Message m) {
    for (const auto& e : catalogue) {
        if (e.id == m) return e;
    }
    return catalogue.front();  // unreachable: every Message has an entry
}

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

}  // namespace halvorine::cli
