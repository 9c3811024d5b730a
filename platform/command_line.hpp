#pragma once
// The drop target's own reading of its Windows command line. Explorer puts
// each path in quotes, and a drive's root ends in a backslash: "E:\". The C
// runtime takes that backslash as escaping the quote and hands over E:" and
// whatever follows. A Windows name cannot hold a quote, so here a quote only
// opens or closes a quoted part and a backslash is always itself.

#include <string>
#include <string_view>
#include <vector>

namespace halvorine {

// The arguments after the program's name. The name is read as Windows reads
// it: up to the next quote when it starts with one, up to the first space or
// tab otherwise. Each argument then runs to the next space or tab outside
// quotes; its quotes are dropped, "" alone is an empty argument, and a quote
// left open runs to the end.
std::vector<std::wstring> split_command_line(std::wstring_view line);

#if defined(_WIN32)
// This process's arguments, read from its command line as above.
std::vector<std::wstring> own_arguments();
#endif

}  // namespace halvorine
