// Output naming, names between Windows' UTF-16 and UTF-8, and the message
// texts the end-to-end tests cannot reach.

#include <gtest/gtest.h>

#include <map>

#include <fstream>
#include <sstream>

#include "cli/folder_rule.hpp"
#include "cli/messages.hpp"
#include "cli/naming.hpp"
#include "platform/paths.hpp"
#include "platform/utf16.hpp"

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

// Every row of the table the page's test reads too; the end-to-end tests
// walk a card built of such entries.
TEST(FolderRule, JudgesEveryEntryOfTheTable) {
    std::ifstream table(HALVORINE_FOLDER_ENTRIES);
    ASSERT_TRUE(table.good());
    const std::map<std::string, Entry> entries = {
        {"file", Entry::file}, {"folder", Entry::folder}, {"link", Entry::link}, {"other", Entry::other}};
    const std::map<std::string, Verdict> verdicts = {{"take", Verdict::take},
                                                     {"walk", Verdict::walk},
                                                     {"link", Verdict::link},
                                                     {"hidden", Verdict::hidden},
                                                     {"other", Verdict::other}};
    int rows = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line.starts_with('#')) continue;
        std::vector<std::string> cells;
        std::istringstream split(line);
        for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
        ASSERT_EQ(cells.size(), 5u) << line;
        ASSERT_TRUE(entries.contains(cells[1]) && verdicts.contains(cells[3])) << line;
        EXPECT_EQ(judge(cells[0], entries.at(cells[1]), cells[2] != "-"), verdicts.at(cells[3])) << line;
        ++rows;
    }
    EXPECT_GT(rows, 40);
}

// Windows marks links, junctions and mount points as name surrogates; cloud
// placeholders, deduplicated and compressed files, app aliases and the rest
// hold their own data and are walked like any file.
TEST(FolderRule, OnlyNameSurrogatesAreLinks) {
    const std::pair<std::uint32_t, bool> tags[] = {
        {0xA000000C, true},   // symbolic link
        {0xA0000003, true},   // junction, mount point
        {0xA000001D, true},   // WSL's symbolic link
        {0xA0000027, true},   // container layer link
        {0x9000001A, false},  // OneDrive, files on demand
        {0x9000601A, false},  // a cloud provider's own subtype
        {0x9000001C, false},  // projected file system
        {0x80000013, false},  // deduplicated
        {0x80000017, false},  // compressed by the overlay filter
        {0x8000001B, false},  // an app's execution alias
        {0x80000023, false},  // a Unix socket
        {0x00000000, false},
    };
    for (const auto& [tag, link] : tags) EXPECT_EQ(names_another_place(tag), link) << std::hex << tag;
}

// The end-to-end tests cross with names in several scripts under wine; these
// are the edges of each sequence length and the unpaired surrogates that a
// Windows name may hold, which must come back as they were.
TEST(Utf16, NamesComeBackAsTheyWent) {
    const char16_t high = 0xD83C;
    const char16_t low = 0xDFB5;
    const std::pair<std::u16string, std::string> cases[] = {
        {u"sim.wav", "sim.wav"},
        {u"\u007F\u0080\u00EF", "\x7F\xC2\x80\xC3\xAF"},
        {u"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},
        {u"\u9332\u97F3 \uFFFF", "\xE9\x8C\xB2\xE9\x9F\xB3 \xEF\xBF\xBF"},
        {u"\U00010000\U0001F3B5\U0010FFFF", "\xF0\x90\x80\x80\xF0\x9F\x8E\xB5\xF4\x8F\xBF\xBF"},
        {{u'a', high}, "a\xED\xA0\xBC"},
        {{low, u'a'}, "\xED\xBE\xB5" "a"},
        {{high, u'x', low}, "\xED\xA0\xBCx\xED\xBE\xB5"},
        {{low, high}, "\xED\xBE\xB5\xED\xA0\xBC"},
    };
    for (const auto& [utf16, utf8] : cases) {
        SCOPED_TRACE(utf8);
        EXPECT_EQ(utf8_from_utf16(utf16), utf8);
        EXPECT_EQ(utf16_from_utf8(utf8), utf16);
    }
    // Bytes no name of ours can hold still give one character each.
    EXPECT_EQ(utf16_from_utf8("\x80" "a\xE0\xA0" "b\xF4\x90\x80\x80"),
              u"\uFFFDa\uFFFD\uFFFDb\uFFFD\uFFFD\uFFFD\uFFFD");
}

// The other texts are checked byte for byte by the end-to-end tests; an I/O
// error on the input cannot be provoked from there, nor a recording long
// enough for its megabytes to show on the progress line.
TEST(Messages, ReadFailureAndPlaceholders) {
    const struct {
        Message m;
        std::initializer_list<std::string_view> args;
        std::string text;
    } cases[] = {
        {Message::read_failure, {}, "\nERROR: Failed to read input file.\n"},
        {Message::banner, {"a%s.wav", "halvorine-a%s.ddc"}, "\n Convert a%s.wav to Halvorine format (halvorine-a%s.ddc)\n\n"},
        {Message::drop_progress_bytes, {"2", "9", "0", "17"}, "Converting 2 of 9: 0 of 17 MB"},
    };
    for (const auto& c : cases) EXPECT_EQ(message_text(c.m, c.args), c.text);
}

// One line each, whatever a name holds: control characters, C1 among them,
// show as '?'; everything else, other scripts included, as it is.
TEST(ShownName, ControlCharactersAsQuestionMarks) {
    const struct {
        std::string name, shown;
    } cases[] = {
        {"rec/a\nb.wav", "rec/a?b.wav"},
        {"\x1b[31mred.wav", "?[31mred.wav"},
        {"tab\there\r.wav", "tab?here?.wav"},
        {"del\x7f.wav", "del?.wav"},
        {"csi\xc2\x9b" "2J.wav", "csi?2J.wav"},
        {"\xd0\xb7\xd0\xb0\xd0\xbf.wav \xc2\xa0", "\xd0\xb7\xd0\xb0\xd0\xbf.wav \xc2\xa0"},
        {"cut\xc2", "cut\xc2"},
        {"E:\\Rec\\take (1).wav", "E:\\Rec\\take (1).wav"},
    };
    for (const auto& [name, shown] : cases) EXPECT_EQ(shown_name(name), shown) << testing::PrintToString(name);
}

}  // namespace
}  // namespace halvorine::cli
