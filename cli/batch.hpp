#pragma once
// A batch converted: each recording of the list in its own folder, exactly
// as the console program run there on the file's bare name, except that no
// output is written twice; each note said in its place; then the summary.

#include "cli/batch_list.hpp"
#include "cli/screen.hpp"

namespace halvorine::cli {

// Converts what `list` holds and says so on `screen`; true when every file
// converted and no note was said.
bool convert_batch(BatchList& list, Screen& screen);

}  // namespace halvorine::cli
