// The drop target's command line as Explorer writes it. Under wine only the
// forms its entries and a drop give are started; the rest of what Windows
// may hand over is here.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/command_line.hpp"

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

}  // namespace
}  // namespace halvorine
