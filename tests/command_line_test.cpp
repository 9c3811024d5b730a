// What of the Windows drop target wine cannot show. Its command line as
// Explorer writes it: under wine only the forms its entries and a drop give
// are started; the rest of what Windows may hand over is here. And the
// blocks a selection comes in, as any data object might hold them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/command_line.hpp"
#include "platform/selection.hpp"

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

// A selection's blocks as Explorer's data object holds them. Whatever their
// sizes and offsets say, only what lies within the block is read.
std::vector<unsigned char> hdrop(std::uint32_t offset, bool wide, const std::u16string& names) {
    std::vector<unsigned char> block(20, 0);
    block[0] = static_cast<unsigned char>(offset);
    block[16] = wide ? 1 : 0;
    block.resize(std::max<std::size_t>(block.size(), offset));
    for (const char16_t unit : names) {
        block.push_back(static_cast<unsigned char>(unit & 0xff));
        block.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return block;
}

TEST(Selection, PathsWithinTheBlock) {
    using namespace std::string_literals;
    const std::u16string two = u"C:\\Rec\\a.wav\0E:\\\0\0"s;
    const struct {
        std::vector<unsigned char> block;
        std::vector<std::wstring> paths;
    } cases[] = {
        {hdrop(20, true, two), {L"C:\\Rec\\a.wav", L"E:\\"}},
        {hdrop(24, true, two), {L"C:\\Rec\\a.wav", L"E:\\"}},       // names after a gap
        {hdrop(20, true, u"\u0437\u0430\u043f.wav\0\0"s), {L"\u0437\u0430\u043f.wav"}},
        {hdrop(20, true, u"C:\\a.wav\0C:\\cut"s), {L"C:\\a.wav"}},  // cut by the block's end
        {hdrop(20, true, u"C:\\a.wav"s), {}},
        {hdrop(20, true, u"\0"s), {}},
        {hdrop(20, false, u"C:\\a.wav\0\0"s), {}},                     // 8-bit names
        {hdrop(8, true, two), {}},                                      // inside the header
        {hdrop(4000, true, u""s), {}},                                   // past the end
        {std::vector<unsigned char>(19, 0), {}},
    };
    for (const auto& [block, paths] : cases) {
        EXPECT_EQ(dropped_paths(block), paths) << testing::PrintToString(block.size());
    }
    const auto cida = [](std::uint32_t count, std::size_t size) {
        std::vector<unsigned char> block(size, 0);
        if (size >= 4) block[0] = static_cast<unsigned char>(count);
        return block;
    };
    EXPECT_EQ(shell_items(cida(3, 4 + 4 * 4 + 60)), 3U);
    EXPECT_EQ(shell_items(cida(3, 4 + 4 * 4)), 3U);
    EXPECT_EQ(shell_items(cida(3, 4 + 3 * 4)), 0U);  // offsets cut short
    EXPECT_EQ(shell_items(cida(0, 8)), 0U);
    EXPECT_EQ(shell_items(cida(1, 3)), 0U);
}

}  // namespace
}  // namespace halvorine
