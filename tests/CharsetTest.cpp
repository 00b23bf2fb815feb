#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "CharsetConversion.hpp"

namespace {

#define R "\xEF\xBF\xBD"  // U+FFFD

struct CodePageCase {
    const char* charset;
    std::string bytes;
    std::string utf8;
    std::size_t badBytes;
    unsigned char firstBadByte;
};

// clang-format off
const CodePageCase kCodePageCases[] = {
    {"cp437", "\x9B\x9C\x9D\x9E\x9F", u8"¢£¥₧ƒ", 0, 0},
    {"cp850", "\x9B\x9C\x9D\x9E\x9F", u8"ø£Ø×ƒ", 0, 0},
    {"cp850", "Hollerw\x94ger", u8"Hollerwöger", 0, 0},
    {"cp852", "op\x86" "a", u8"opća", 0, 0},
    {"cp855", "\x80\xA1\xB7", u8"ђАи", 0, 0},
    {"cp866", "\x80\xA0\xE0\xF0", u8"АарЁ", 0, 0},
    {"cp1250", "\x8A\xB9\xE6", u8"Šąć", 0, 0},
    {"cp1250", "\x81\x83\x88\x90\x98", R R R R R, 5, 0x81},
    {"cp1251", "\x88\xC0\xFF", u8"€Ая", 0, 0},
    {"cp1251", "\x98", R, 1, 0x98},
    {"cp1252", "\x80\x8A\x9F", u8"€ŠŸ", 0, 0},
    {"cp1252", "a\x81" "b\x8D\x8F\x90\x9D" "c", "a" R "b" R R R R "c", 5, 0x81},
    {"iso-8859-1", "\x80\x9F\xE9", u8"\u0080\u009Fé", 0, 0},
    {"iso-8859-2", "\xA4\xB1\xE6", u8"¤ąć", 0, 0},
    // Control characters are ASCII, not the DOS glyphs.
    {"cp437", std::string("\x00\x01\x1A\x7F", 4), std::string("\x00\x01\x1A\x7F", 4), 0, 0},
    // Runs of eight and more ASCII bytes around the converted ones, and
    // values whose last 8 bytes are ASCII after a converted byte or not.
    {"cp437", "Slatyer, R.O.", "Slatyer, R.O.", 0, 0},
    {"cp850", "\x82" "0123456789abc", u8"é0123456789abc", 0, 0},
    {"cp1252", "0123456\x81" "89abc", "0123456" R "89abc", 1, 0x81},
    {"cp850", "0123456789abcdef\x82\x8A" "0123456789abcdefg\xFF",
     u8"0123456789abcdeféè0123456789abcdefg\u00A0", 0, 0},
};
// clang-format on

TEST(Charset, ConvertsEachCodePageAsPublished) {
    for (const CodePageCase& c : kCodePageCases) {
        const Charset* charset = Charset::Find(c.charset);
        ASSERT_NE(charset, nullptr) << c.charset;
        const Converted converted = ConvertToUtf8(*charset, c.bytes);
        EXPECT_EQ(converted.text, c.utf8) << c.charset << " " << c.bytes;
        EXPECT_EQ(converted.problem.badBytes, c.badBytes) << c.charset << " " << c.bytes;
        EXPECT_EQ(converted.problem.firstBadByte, c.firstBadByte) << c.charset << " " << c.bytes;
    }
}

TEST(Charset, AProblemKeepsCountingAndItsFirstByteAcrossValues) {
    const Charset& cp1252 = *Charset::Find("cp1252");
    const unsigned char bytes[] = {'x', 0x90, 0x81};
    char out[9];
    ConversionProblem problem;
    cp1252.ToUtf8(bytes, 2, out, problem);
    cp1252.ToUtf8(bytes + 2, 1, out, problem);
    EXPECT_EQ(problem.badBytes, 2u);
    EXPECT_EQ(problem.firstBadByte, 0x90);
}

TEST(Charset, FindsTheListedNamesAndTheirAliasesInAnyCase) {
    // clang-format off
    const std::pair<const char*, const char*> kNames[] = {
        {"cp437", "cp437"}, {"IBM437", "cp437"}, {"CP850", "cp850"},
        {"ibm850", "cp850"}, {"850", "cp850"}, {"Cp852", "cp852"},
        {"IBM855", "cp855"}, {"866", "cp866"}, {"Windows-1250", "cp1250"},
        {"windows-1251", "cp1251"}, {"WINDOWS-1252", "cp1252"}, {"Latin1", "iso-8859-1"},
        {"ISO8859-1", "iso-8859-1"}, {"iso_8859-1", "iso-8859-1"}, {"latin2", "iso-8859-2"},
        {"ISO-8859-2", "iso-8859-2"}, {"UTF-8", "utf-8"}, {"utf8", "utf-8"},
    };
    // clang-format on
    for (const auto& [name, canonical] : kNames) {
        const Charset* charset = Charset::Find(name);
        ASSERT_NE(charset, nullptr) << name;
        EXPECT_STREQ(charset->Name(), canonical) << name;
    }
    for (const char* unknown :
         {"", "cp1253", "koi8-r", "utf-16", "latin", "cp850 ", "iso-8859-15"}) {
        EXPECT_EQ(Charset::Find(unknown), nullptr) << unknown;
    }
    EXPECT_EQ(&Charset::Utf8(), Charset::Find("utf-8"));
    const std::vector<std::string> names = CanonicalNames();
    EXPECT_EQ(names.size(), 11u) << Charset::NameList();
    for (const std::string& name : names) {
        ASSERT_NE(Charset::Find(name), nullptr) << name;
        EXPECT_EQ(Charset::Find(name)->Name(), name);
    }
}

}  // namespace
