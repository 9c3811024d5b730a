#pragma once
// What a conversion came to, in the catalogue's words: every front end
// reports the same failure for the same bytes.

#include <string>
#include <vector>

#include "cli/messages.hpp"
#include "convert/blocks.hpp"

namespace halvorine::cli {

struct Report {
    Message message;
    std::string arg;
};

// Converts `in` into `out` through `blocks`; the messages to print after the
// banner when it fails, in order, and none on success.
std::vector<Report> convert_reports(Source& in, Sink& out, Blocks& blocks);

}  // namespace halvorine::cli
