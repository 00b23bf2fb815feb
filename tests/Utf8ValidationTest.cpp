#include <gtest/gtest.h>

#include <string>

#include "CharsetConversion.hpp"

namespace {

#define R "\xEF\xBF\xBD"  // U+FFFD

struct Utf8Case {
    const char* what;
    std::string bytes;
    std::string utf8;  // the same bytes when empty
    std::size_t badBytes;
    unsigned char firstBadByte;
};

// clang-format off
const Utf8Case kUtf8Cases[] = {
    {"ASCII, controls included", "Soil moisture\x01\x7F and plant growth", "", 0, 0},
    {"two bytes", "\xC2\x80 \xC3\xA9 \xDF\xBF", "", 0, 0},
    {"three bytes", "\xE0\xA0\x80 \xE2\x82\xAC \xED\x9F\xBF \xEE\x80\x80 \xEF\xBF\xBF", "", 0, 0},
    {"four bytes", "\xF0\x90\x80\x80 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF", "", 0, 0},
    {"between long ASCII runs", "0123456789abcdef\xD0\x90\xD1\x8F" "0123456789abcdefg", "", 0, 0},
    {"ASCII after a sequence", "\xC3\xA9" "0123456789abc", "", 0, 0},
    {"overlong two bytes", "\xC0\xAF \xC1\xBF", R R " " R R, 4, 0xC0},
    {"overlong three bytes", "\xE0\x80\xAF \xE0\x9F\xBF", R R R " " R R R, 6, 0xE0},
    {"overlong four bytes", "\xF0\x80\x80\xAF \xF0\x8F\xBF\xBF", R R R R " " R R R R, 8, 0xF0},
    {"surrogates", "\xED\xA0\x80 \xED\xBF\xBF", R R R " " R R R, 6, 0xED},
    {"past U+10FFFF", "\xF4\x90\x80\x80 \xF5\x80\x80\x80", R R R R " " R R R R, 8, 0xF4},
    {"truncated at the end", "ab\xE2\x82", "ab" R R, 2, 0xE2},
    {"truncated before ASCII", "\xF0\x9F\x98z", R R R "z", 3, 0xF0},
    {"truncated before a lead byte", "\xE2\xC3\xA9", R "\xC3\xA9", 1, 0xE2},
    {"stray continuation bytes", "\x80" "a\xBF" "b", R "a" R "b", 2, 0x80},
    {"bytes that never occur", "\xFE\xFF\xF8", R R R, 3, 0xFE},
    {"in a long ASCII run", "0123456789abcdef\xFF" "0123456789abcdefg",
     "0123456789abcdef" R "0123456789abcdefg", 1, 0xFF},
    {"ASCII after an invalid byte", "\xFF" "0123456789abc", R "0123456789abc", 1, 0xFF},
};
// clang-format on

TEST(Utf8Validation, PassesValidSequencesAndReplacesEachInvalidByte) {
    for (const Utf8Case& c : kUtf8Cases) {
        const Converted converted = ConvertToUtf8(Charset::Utf8(), c.bytes);
        EXPECT_EQ(converted.text, c.utf8.empty() ? c.bytes : c.utf8) << c.what;
        EXPECT_EQ(converted.problem.badBytes, c.badBytes) << c.what;
        EXPECT_EQ(converted.problem.firstBadByte, c.firstBadByte) << c.what;
    }
}

}  // namespace
