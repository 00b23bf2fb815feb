#include "charset/CodePageEvidence.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

void Add(CodePageEvidence& evidence, const std::string& value) {
    // A buffer of the value's own size, so that a read past it is caught.
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[value.size()]);
    std::copy(value.begin(), value.end(), bytes.get());
    evidence.Add(bytes.get(), value.size());
}

std::string WordText(const CodePageEvidence::Word& word) {
    return std::string(reinterpret_cast<const char*>(word.bytes), word.length);
}

TEST(CodePageEvidence, AsciiValuesLeaveNothingButTheirCount) {
    CodePageEvidence evidence;
    for (const std::string& value :
         std::vector<std::string>{"", "a", "Soil moisture and plant growth", "1965 ^aParis^bUnesco",
                                  std::string(1000, 'x') + "~\x7F"}) {
        Add(evidence, value);
    }
    EXPECT_EQ(evidence.Values(), 5u);
    EXPECT_EQ(evidence.ValuesWithHighBytes(), 0u);
    EXPECT_EQ(evidence.HighBytes(), 0u);
    EXPECT_EQ(evidence.Utf8Sequences() + evidence.Utf8InvalidBytes(), 0u);
    EXPECT_TRUE(evidence.Words().empty());
}

struct PlaceCase {
    std::string value;
    unsigned char byte;
    CodePageEvidence::Places places;
};

TEST(CodePageEvidence, CountsWhereEachHighByteStands) {
    // {insideWord, wordEdge, alone, besideHighByte}
    const PlaceCase kCases[] = {
        {"Probl\x8Ames", 0x8A, {1, 0, 0, 0}},
        {"caf\x82 au lait", 0x82, {0, 1, 0, 0}},
        {"\x82t\x82", 0x82, {0, 2, 0, 0}},
        {"\x85 la carte", 0x85, {0, 0, 1, 0}},
        {"12\xF8, (\xAE)", 0xF8, {0, 0, 1, 0}},
        {"12\xF8, (\xAE)", 0xAE, {0, 0, 1, 0}},
        {"12 \xF8"
         "C",
         0xF8,
         {0, 1, 0, 0}},
        {"\xE1\xEB\xE1\xEB", 0xE1, {0, 0, 0, 2}},
        {"x\xC3\xA9y", 0xA9, {0, 0, 0, 1}},
        {std::string(20, 'a') + "\x82" + std::string(20, 'b'), 0x82, {1, 0, 0, 0}},
    };
    for (const PlaceCase& c : kCases) {
        CodePageEvidence evidence;
        Add(evidence, c.value);
        const CodePageEvidence::Places places = evidence.Where(c.byte);
        EXPECT_EQ(places.insideWord, c.places.insideWord) << c.value;
        EXPECT_EQ(places.wordEdge, c.places.wordEdge) << c.value;
        EXPECT_EQ(places.alone, c.places.alone) << c.value;
        EXPECT_EQ(places.besideHighByte, c.places.besideHighByte) << c.value;
        EXPECT_EQ(evidence.Occurrences(c.byte), c.places.insideWord + c.places.wordEdge +
                                                    c.places.alone + c.places.besideHighByte)
            << c.value;
    }
}

TEST(CodePageEvidence, KnowsTheCaseOfTheAsciiLettersBesideAHighByte) {
    CodePageEvidence evidence;
    Add(evidence,
        "Probl\x8Ames MINIST\x8ARE \x8A"
        "a.\x8A");
    using E = CodePageEvidence;
    EXPECT_EQ(evidence.Between(0x8A, E::kLowerAscii, E::kLowerAscii), 1u);
    EXPECT_EQ(evidence.Between(0x8A, E::kUpperAscii, E::kUpperAscii), 1u);
    EXPECT_EQ(evidence.Between(0x8A, E::kOther, E::kLowerAscii), 1u);
    EXPECT_EQ(evidence.Between(0x8A, E::kOther, E::kOther), 1u);
    EXPECT_EQ(evidence.Occurrences(0x8A), 4u);
    EXPECT_EQ(evidence.HighBytes(), 4u);
    EXPECT_EQ(evidence.ValuesWithHighBytes(), 1u);
}

TEST(CodePageEvidence, CountsHighBytesThatFollowOneAnother) {
    CodePageEvidence evidence;
    Add(evidence, "\xE1\xEB\xE1\xEB \xE1");  // cp1251 "abab a"
    Add(evidence, "\xEB");
    EXPECT_EQ(evidence.Pair(0xE1, 0xEB), 2u);
    EXPECT_EQ(evidence.Pair(0xEB, 0xE1), 1u);
    EXPECT_EQ(evidence.Pair(0xE1, 0xE1), 0u);
    EXPECT_EQ(evidence.Pair(0xEB, 0xEB), 0u);  // not across values
}

struct Utf8Case {
    std::vector<std::string> values;
    std::uint64_t sequences;
    std::uint64_t invalid;
};

TEST(CodePageEvidence, CountsValidUtf8SequencesAndBytesThatBeginNone) {
    const Utf8Case kCases[] = {
        {{"caf\xC3\xA9"}, 1, 0},
        {{"\xE2\x82\xAC 10, \xF0\x9F\x93\x9A"}, 2, 0},
        {{"\xD0\x9A\xD0\xBD\xD0\xB8\xD0\xB3\xD0\xB0"}, 5, 0},
        {{"caf\xC3"}, 0, 1},                // cut at the value's end
        {{"\xC3", "\xA9"}, 0, 2},           // not across values
        {{"\xC0\xAF"}, 0, 2},               // overlong
        {{"\xED\xA0\x80"}, 0, 3},           // a surrogate
        {{"r\xE9sum\xE9 \xC3\xA9"}, 1, 2},  // Latin-1 beside UTF-8
        {{"\xC3\xA9\xA9"}, 1, 1},
    };
    for (const Utf8Case& c : kCases) {
        CodePageEvidence evidence;
        for (const std::string& value : c.values) {
            Add(evidence, value);
        }
        EXPECT_EQ(evidence.Utf8Sequences(), c.sequences) << c.values[0];
        EXPECT_EQ(evidence.Utf8InvalidBytes(), c.invalid) << c.values[0];
    }
}

TEST(CodePageEvidence, KeepsTheWordsThatHoldHighBytes) {
    CodePageEvidence evidence;
    Add(evidence,
        "Paris: \xC9"
        "ditions de l'\x82"
        "cole, 1965 (r\x82"
        "f. 3-\x82t\x82)");
    Add(evidence, "\x82t\x82");  // kept already
    std::vector<std::string> words;
    for (const CodePageEvidence::Word& word : evidence.Words()) {
        words.push_back(WordText(word));
    }
    EXPECT_EQ(words, (std::vector<std::string>{"\xC9"
                                               "ditions",
                                               "\x82"
                                               "cole",
                                               "r\x82"
                                               "f",
                                               "\x82t\x82"}));
}

TEST(CodePageEvidence, KeepsAFewWordsAndThenOnlyThoseWithBytesNotYetKept) {
    CodePageEvidence evidence;
    // Many different words that all hold the same byte.
    for (char first = 'a'; first <= 'z'; ++first) {
        for (char second = 'a'; second <= 'z'; ++second) {
            Add(evidence, std::string{first, second, '\x82'});
        }
    }
    ASSERT_EQ(evidence.Words().size(), CodePageEvidence::kFirstWords);
    Add(evidence, "t\x8Ate");
    Add(evidence, std::string(CodePageEvidence::kMostWordBytes, 'x') + "\x85");  // too long
    Add(evidence, std::string(CodePageEvidence::kMostWordBytes - 1, 'x') + "\x85");
    ASSERT_EQ(evidence.Words().size(), CodePageEvidence::kFirstWords + 2);
    EXPECT_EQ(WordText(evidence.Words()[CodePageEvidence::kFirstWords]), "t\x8Ate");
    // However many bytes there are, no more than kMostWords words.
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        Add(evidence, std::string("w") + static_cast<char>(byte));
    }
    EXPECT_EQ(evidence.Words().size(), CodePageEvidence::kMostWords);
}

}  // namespace
