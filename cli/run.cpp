#include "cli/run.hpp"

#include <optional>

#include "cli/sequence.hpp"
#include "platform/console.hpp"
#include "platform/file_io.hpp"

namespace halvorine::cli {

namespace {

class NamedFiles final : public Ends {
public:
    void say(Message, std::string_view text) override { write_out(text); }
    Source* open_input(const std::string& name) override {
        input_.emplace(name);
        return input_->is_open() ? &*input_ : nullptr;
    }
    // A link can make the output another name of the input; FileSink then
    // refuses it rather than truncate the recording we are reading.
    Sink* open_output(const std::string& name) override {
        output_.emplace(name, *input_);
        return output_->is_open() ? &*output_ : nullptr;
    }
    bool close_output() override { return output_->close(); }

private:
    std::optional<FileSource> input_;
    std::optional<FileSink> output_;
};

}  // namespace

int convert_named(std::string_view argument, Blocks& blocks) {
    NamedFiles files;
    return run_one(argument, files, blocks);
}

int run(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        write_out(message_text(Message::usage));
        return 0;
    }
    Blocks blocks;
    return convert_named(args[1], blocks);
}

}  // namespace halvorine::cli
