#pragma once
// The console side of the system: standard output, and the arguments as the
// system hands them over.

#include <string>
#include <string_view>
#include <vector>

namespace halvorine {

// Readies standard output for the messages: the same bytes on every system.
// An output whose reader is gone (or a file past its size limit) no longer
// kills the program, which would leave an output half written: such a write
// fails, its words are lost, as there is nowhere else to say them, and the
// conversion goes on to its own status.
void prepare_output();

// Writes `text` to standard output at once, so that scripts that log it see
// the banner before a long conversion. A Windows console gets it in UTF-16,
// which it shows in every script; a file or a pipe gets the UTF-8 bytes.
void write_out(std::string_view text);

// True when standard output is a console or terminal that a person watches:
// only there may a line be rewritten in place.
bool output_is_terminal();

// Whether this program was linked for clicks, to Windows' GUI subsystem:
// Explorer then starts it without a console window, and it has none until
// open_console. Never on other systems.
bool built_for_clicks();

// Gives a program built for clicks somewhere to speak: its output stays
// where it was sent, a file or a pipe, and otherwise goes to a console window
// of its own, whose keyboard then is its input. Elsewhere, nothing.
void open_console();

// Waits for a key on the console, so that a window opened for the program
// stays open until it has been read. Where keys come only with Enter (a Linux
// terminal), or standard input is no console (a pipe, a file), reads one line.
void wait_for_key();

#if defined(_WIN32)
// The arguments in UTF-8. Taken through the code page, a name loses every
// character outside it; in UTF-16 it arrives whole.
std::vector<std::string> utf8_arguments(int argc, const wchar_t* const* argv);
#endif

}  // namespace halvorine
