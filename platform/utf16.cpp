#include "platform/utf16.hpp"

namespace halvorine {

namespace {

constexpr char32_t replacement = 0xFFFD;

bool high_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool low_surrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void put_utf8(std::string& out, char32_t c) {
    const auto byte = [&out](char32_t b) { out += static_cast<char>(b); };
    if (c < 0x80) {
        byte(c);
    } else if (c < 0x800) {
        byte(0xC0 | c >> 6);
        byte(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        byte(0xE0 | c >> 12);
        byte(0x80 | (c >> 6 & 0x3F));
        byte(0x80 | (c & 0x3F));
    } else {
        byte(0xF0 | c >> 18);
        byte(0x80 | (c >> 12 & 0x3F));
        byte(0x80 | (c >> 6 & 0x3F));
        byte(0x80 | (c & 0x3F));
    }
}

void put_utf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
}

}  // namespace

std::string utf8_from_utf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (high_surrogate(c) && i + 1 < text.size() && low_surrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        put_utf8(out, c);
    }
    return out;
}

std::u16string utf16_from_utf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    const auto at = [text](std::size_t i) -> char32_t { return static_cast<unsigned char>(text[i]); };
    for (std::size_t i = 0; i < text.size();) {
        const char32_t lead = at(i);
        // The sequence's length by its lead byte; 0 for a byte that cannot lead.
        const std::size_t length = lead < 0x80   ? 1
                                   : lead < 0xC0 ? 0
                                   : lead < 0xE0 ? 2
                                   : lead < 0xF0 ? 3
                                   : lead < 0xF5 ? 4
                                                 : 0;
        char32_t c = length <= 1 ? lead : lead & (0x7Fu >> length);
        std::size_t n = 1;
        for (; n < length && i + n < text.size() && (at(i + n) & 0xC0) == 0x80; ++n) c = c << 6 | (at(i + n) & 0x3F);
        if (n == length && c <= 0x10FFFF) {
            put_utf16(out, c);
            i += n;
        } else {
            put_utf16(out, replacement);
            i += 1;
        }
    }
    return out;
}

}  // namespace halvorine
