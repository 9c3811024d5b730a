// Output naming, and the message texts the end-to-end tests cannot reach.

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

// The other texts are checked byte for byte by the end-to-end tests; an I/O
// error on the input cannot be provoked from there.
TEST(Messages, ReadFailureAndPlaceholders) {
    EXPECT_EQ(message_text(Message::read_failure), "\nERROR: Failed to read input file.\n");
    EXPECT_EQ(message_text(Message::banner, {"a%s.wav", "halvorine-a%s.ddc"}),
              "\n Convert a%s.wav to Halvorine format (halvorine-a%s.ddc)\n\n");
}

}  // namespace
}  // namespace halvorine::cli
