#pragma once
// Windows hands names over, and takes them back, in UTF-16; inside, the
// program keeps them in UTF-8 as on Linux, so that the output name and the
// messages come out the same bytes on both. A Windows name may hold a
// surrogate without its pair: it is carried in the 3-byte form of its value,
// so that every name comes back exactly as it went in.

#include <string>
#include <string_view>

namespace halvorine {

std::string utf8_from_utf16(std::u16string_view text);

// A byte that starts no complete sequence becomes U+FFFD.
std::u16string utf16_from_utf8(std::string_view text);

#if defined(_WIN32)
inline std::wstring wide(std::string_view utf8) {
    const std::u16string text = utf16_from_utf8(utf8);
    return {text.begin(), text.end()};
}

inline std::string narrow(std::wstring_view utf16) {
    return utf8_from_utf16(std::u16string(utf16.begin(), utf16.end()));
}
#endif

}  // namespace halvorine
