// What of the Windows drop target wine cannot show. Its command line as
// Explorer writes it: under wine only the forms its entries and a drop give
// are started; the rest of what Windows may hand over is here. And who may
// open the pipe its processes gather at: wine runs every process as one user
// and enforces no access rule, so the descriptor's text is checked here.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/command_line.hpp"
#include "platform/gather.hpp"

namespace halvorine {
namespace {

// The installed command's own name, as the entries write it.
const std::wstring drop = L"\"C:\\Program Files\\halvorine-convert\\halvorine-drop.exe\"";

TEST(CommandLine, PathsComeWhole) {
    const struct {
        std::wstring line;
        std::vector<std::wstring> arguments;
    } cases[] = {
        // A drive's root, from the entry on a folder's background; the C
        // runtime makes it E:".
        {drop + L" \"E:\\\"", {L"E:\\"}},
        {drop + L" \"E:\\\" \"F:\\Rec\\\"", {L"E:\\", L"F:\\Rec\\"}},
        {drop + L" \"\\\\card\\share\\\"", {L"\\\\card\\share\\"}},
        {drop + L" \"C:\\My Rec\\take.wav\"", {L"C:\\My Rec\\take.wav"}},
        // A drop: each path quoted only when it holds a space.
        {drop + L" C:\\a.wav \"C:\\My Rec\\b.wav\" D:\\запись\\録音.wav",
         {L"C:\\a.wav", L"C:\\My Rec\\b.wav", L"D:\\запись\\録音.wav"}},
        {drop + L"\tC:\\a.wav\t\t\"C:\\b c.wav\"", {L"C:\\a.wav", L"C:\\b c.wav"}},
        {drop + L" \"\" C:\\a.wav", {L"", L"C:\\a.wav"}},
        {drop + L" \"E:\\\"   ", {L"E:\\"}},
        {drop + L" C:\\a\" \"b", {L"C:\\a b"}},
        {drop + L" \"C:\\My Rec\\take.wav", {L"C:\\My Rec\\take.wav"}},
        // The name ends at its closing quote, whatever follows.
        {drop + L"E:\\a.wav", {L"E:\\a.wav"}},
        {L"C:\\halvorine\\halvorine-drop.exe \"E:\\\"", {L"E:\\"}},
        // Unquoted, a name with a space ends there, as every Windows program
        // reads it; the entries and a drop quote it.
        {L"C:\\Program Files\\drop.exe E:\\", {L"Files\\drop.exe", L"E:\\"}},
        // Started with no file: a double click, or a shortcut's own name.
        {drop, {}},
        {L"", {}},
    };
    for (const auto& [line, arguments] : cases) {
        EXPECT_EQ(split_command_line(line), arguments) << testing::PrintToString(line);
    }
}

// The user alone, nothing inherited, and the process's own level as the
// label; nothing at all from what is not a plain SID, so that a text such as
// an entry for Everyone (WD) never becomes part of the descriptor.
TEST(GatheringPipe, OnlyTheUserAtItsLevelOrAbove) {
    const std::wstring user = L"S-1-5-21-1004336348-1177238915-682003330-1001";
    const struct {
        std::wstring user;
        std::wstring integrity;
        std::wstring sddl;
    } cases[] = {
        {user, L"S-1-16-8192", L"D:P(A;;GA;;;" + user + L")S:(ML;;NWNR;;;S-1-16-8192)"},
        {user, L"S-1-16-12288", L"D:P(A;;GA;;;" + user + L")S:(ML;;NWNR;;;S-1-16-12288)"},
        {L"S-1-5-18", L"S-1-16-16384", L"D:P(A;;GA;;;S-1-5-18)S:(ML;;NWNR;;;S-1-16-16384)"},
        {user + L")(A;;GA;;;WD", L"S-1-16-8192", L""},
        {user, L"S-1-16-8192)(A;;GA;;;WD", L""},
        {L"WD", L"S-1-16-8192", L""},
        {L"OW", L"S-1-16-8192", L""},
        {user, L"ME", L""},
        {user, user, L""},  // a label must be an integrity level's
        {L"S-1-5-21--1001", L"S-1-16-8192", L""},
        {L"S-1-5-21-", L"S-1-16-8192", L""},
        {L"", L"S-1-16-8192", L""},
        {user, L"", L""},
    };
    for (const auto& [owner, integrity, sddl] : cases) {
        EXPECT_EQ(pipe_security(owner, integrity), sddl) << testing::PrintToString(owner + L" " + integrity);
    }
}

}  // namespace
}  // namespace halvorine
