#pragma once
// One file through the program, the same in every front end: the output
// named from the argument, the banner, the input and the output opened, the
// conversion, the output closed, the failure in the catalogue's words, and
// the exit status. A front end gives only how its files open and where its
// words go.

#include <string>
#include <string_view>

#include "cli/messages.hpp"
#include "convert/blocks.hpp"

namespace halvorine::cli {

// A front end's two files and its words, for one run.
class Ends {
public:
    virtual ~Ends() = default;
    // Shows one message, its placeholders filled and its line end added.
    virtual void say(Message m, std::string_view text) = 0;
    // The input by the argument's name; null when it cannot be opened.
    virtual Source* open_input(const std::string& name) = 0;
    // The output, emptied; null when it cannot be, or must not be, written.
    // Called once, after open_input succeeded.
    virtual Sink* open_output(const std::string& name) = 0;
    // False when a byte written has not reached the output for good. Called
    // once, after open_output succeeded.
    virtual bool close_output() = 0;
};

// Converts the file named `argument`, through `blocks`; the exit status,
// 0 on success and 1 otherwise.
int run_one(std::string_view argument, Ends& ends, Blocks& blocks);

}  // namespace halvorine::cli
