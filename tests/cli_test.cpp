// Output naming and the message texts.

#include <gtest/gtest.h>

#include "cli/messages.hpp"
#include "cli/naming.hpp"

namespace halvorine::cli {
namespace {

TEST(OutputName, FromTheArgument) {
    const std::string dot66 = std::string(65, 'a') + ".wav";   // '.' at position 75
    const std::string dot70 = std::string(69, 'a') + ".wav";   // '.' at position 79, the last searched
    const std::string dot71 = std::string(70, 'a') + ".wav";   // '.' at position 80: outside
    const std::string long_name = std::string(300, 'b') + ".x";
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"sim.wav", "halvorine-sim.ddc"},
        {"rec.2024.wav", "halvorine-rec.ddc"},
        {"./sim.wav", "halvorine-.ddc"},
        {"dir/sim.wav", "halvorine-dir/sim.ddc"},
        {"a.b/sim", "halvorine-a.ddc"},
        {".wav", "halvorine-.ddc"},
        {"sim", std::nullopt},
        {"", std::nullopt},
        {std::string(69, 'c'), std::nullopt},
        {dot66, "halvorine-" + std::string(65, 'a') + ".ddc"},
        {dot70, "halvorine-" + std::string(69, 'a') + ".ddc"},
        {dot71, std::nullopt},
        {"x.wav" + std::string(500, 'y'), "halvorine-x.ddc"},
        {"%s%d.wav", "halvorine-%s%d.ddc"},
    };
    for (const auto& [argument, expected] : cases) {
        EXPECT_EQ(output_name(argument), expected) << argument;
    }
    EXPECT_EQ(output_name(dot66)->size(), 79u);
    EXPECT_EQ(output_name(dot70)->size(), 83u);
    EXPECT_EQ(output_name(long_name), std::nullopt);
}

TEST(Messages, PlaceholdersAndLineEnds) {
    EXPECT_EQ(message_text(Message::banner, {"a%s.wav", "halvorine-a%s.ddc"}),
              "\n Convert a%s.wav to Halvorine format (halvorine-a%s.ddc)\n\n");
    EXPECT_EQ(message_text(Message::input_not_opened, {"x.wav"}), "Could not open x.wav");
    EXPECT_EQ(message_text(Message::output_not_created, {"halvorine-x.ddc"}), "Could not open halvorine-x.ddc\n");
    EXPECT_EQ(message_text(Message::header_error, {"25"}), "Error in .wav file header [25]");
    EXPECT_EQ(message_text(Message::bad_name), "File name incorrect\n");
    EXPECT_EQ(message_text(Message::write_failure), "\nERROR: Failed to write output file.\n");
    EXPECT_EQ(message_text(Message::read_failure), "\nERROR: Failed to read input file.\n");
    EXPECT_EQ(message_text(Message::usage), "Give a single filename as argument to this program. (ex sim.wav)");
}

}  // namespace
}  // namespace halvorine::cli
