#include "charset/CodePageEvidence.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

CodePageEvidence EvidenceOf(const std::vector<std::string>& values) {
    CodePageEvidence evidence;
    for (const std::string& value : values) {
        // A buffer of the value's own size, so that a read past it is caught.
        std::unique_ptr<unsigned char[]> bytes(new unsigned char[value.size()]);
        std::copy(value.begin(), value.end(), bytes.get());
        evidence.Add(bytes.get(), value.size());
    }
    return evidence;
}

struct Case {
    std::vector<std::string> values;
    unsigned char byte;
    CodePageEvidence::Places places;  // inside a word, at its edge, alone, beside a high byte
    std::uint64_t utf8Sequences;
    std::uint64_t utf8Invalid;
};

TEST(CodePageEvidence, CountsWhereEachHighByteStandsAndWhetherItIsUtf8) {
    const Case kCases[] = {
        {{"", "Soil moisture", std::string(1000, 'x') + "~\x7F"}, 0x80, {0, 0, 0, 0}, 0, 0},
        {{"Probl\x8Ames"}, 0x8A, {1, 0, 0, 0}, 0, 1},
        {{"caf\x82 au lait"}, 0x82, {0, 1, 0, 0}, 0, 1},
        {{"\x82t\x82"}, 0x82, {0, 2, 0, 0}, 0, 2},
        {{"12 \xF8N"}, 0xF8, {0, 1, 0, 0}, 0, 1},
        {{"\x85 la carte, 12\xF8"}, 0x85, {0, 0, 1, 0}, 0, 2},
        {{"(\xAE)"}, 0xAE, {0, 0, 1, 0}, 0, 1},
        {{"\xE1\xEB\xE1\xEB"}, 0xE1, {0, 0, 0, 2}, 0, 4},
        {{std::string(20, 'a') + "\x82" + std::string(20, 'b')}, 0x82, {1, 0, 0, 0}, 0, 1},
        {{"caf\xC3\xA9", "\xE2\x82\xAC 10, \xF0\x9F\x93\x9A"}, 0xA9, {0, 0, 0, 1}, 3, 0},
        {{"\xD0\x9A\xD0\xBD\xD0\xB8"}, 0xD0, {0, 0, 0, 3}, 3, 0},
        {{"caf\xC3"}, 0xC3, {0, 1, 0, 0}, 0, 1},               // cut at the value's end
        {{"\xC3", "\xA9"}, 0xC3, {0, 0, 1, 0}, 0, 2},          // not across values
        {{"\xC0\xAF\xED\xA0\x80"}, 0xAF, {0, 0, 0, 1}, 0, 5},  // overlong, a surrogate
        {{"r\xE9sum\xE9 \xC3\xA9\xA9"}, 0xE9, {1, 1, 0, 0}, 1, 3},
    };
    for (const Case& c : kCases) {
        const CodePageEvidence evidence = EvidenceOf(c.values);
        const CodePageEvidence::Places places = evidence.Where(c.byte);
        EXPECT_EQ(places.insideWord, c.places.insideWord) << c.values[0];
        EXPECT_EQ(places.wordEdge, c.places.wordEdge) << c.values[0];
        EXPECT_EQ(places.alone, c.places.alone) << c.values[0];
        EXPECT_EQ(places.besideHighByte, c.places.besideHighByte) << c.values[0];
        EXPECT_EQ(evidence.Utf8Sequences(), c.utf8Sequences) << c.values[0];
        EXPECT_EQ(evidence.Utf8InvalidBytes(), c.utf8Invalid) << c.values[0];
        EXPECT_EQ(evidence.Values(), c.values.size());
    }
    const CodePageEvidence evidence = EvidenceOf({"Probl\x8Ames MINIST\x8ARE", "\xE1\xEB \xE1"});
    using E = CodePageEvidence;
    EXPECT_EQ(evidence.Between(0x8A, E::kLowerAscii, E::kLowerAscii), 1u);
    EXPECT_EQ(evidence.Between(0x8A, E::kUpperAscii, E::kUpperAscii), 1u);
    EXPECT_EQ(evidence.Pair(0xE1, 0xEB), 1u);
    EXPECT_EQ(evidence.Pair(0xEB, 0xE1), 0u);
    EXPECT_EQ(evidence.HighBytes(), 5u);
    EXPECT_EQ(evidence.ValuesWithHighBytes(), 2u);
}

TEST(CodePageEvidence, KeepsAFewWordsAndThenOnlyThoseWithBytesNotYetKept) {
    const auto wordsOf = [](const CodePageEvidence& evidence) {
        std::vector<std::string> words;
        for (const CodePageEvidence::Word& word : evidence.Words()) {
            words.emplace_back(reinterpret_cast<const char*>(word.bytes), word.length);
        }
        return words;
    };
    std::vector<std::string> values{"Paris: \xC9tudes de l'\x90tat, 1965 (r\x82sum\x82.)",
                                    "\x90tat"};
    EXPECT_EQ(wordsOf(EvidenceOf(values)),
              (std::vector<std::string>{"\xC9tudes", "\x90tat", "r\x82sum\x82"}));
    // Many different words that hold the same byte: only the first few.
    for (char first = 'a'; first <= 'z'; ++first) {
        values.push_back(std::string{first, 'x', '\x82'});
    }
    values.emplace_back("t\x8Ate");
    values.push_back(std::string(CodePageEvidence::kMostWordBytes, 'x') + "\x85");  // too long
    values.push_back(std::string(CodePageEvidence::kMostWordBytes - 1, 'x') + "\x85");
    std::vector<std::string> words = wordsOf(EvidenceOf(values));
    ASSERT_EQ(words.size(), CodePageEvidence::kFirstWords + 2);
    EXPECT_EQ(words[CodePageEvidence::kFirstWords], "t\x8Ate");
    // However many bytes there are, no more than kMostWords words.
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        values.push_back(std::string("w") + static_cast<char>(byte));
    }
    EXPECT_EQ(EvidenceOf(values).Words().size(), CodePageEvidence::kMostWords);
}

}  // namespace
