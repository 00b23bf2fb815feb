// Subfields: the splitter's rules, value by value and piece by piece, and the
// JSON Lines export with --subfields parsed back by a real JSON parser, for
// values held in memory and values read from the file in pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "DatabaseWriter.hpp"
#include "RunExport.hpp"
#include "TempDir.hpp"
#include "export/Subfields.hpp"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

struct Case {
    std::string value;
    Pairs pairs;
};

// `cases` and the same rules where the JSON Lines writer's steps of 32 bytes
// end: a delimiter, a '^' that is text and a byte to escape at, across and
// just past the end of a step, after delimiters in the same step.
std::vector<Case> WithStepEnds(std::vector<Case> cases) {
    for (const std::size_t lead : {30, 31, 32, 33}) {
        const std::string x(lead, 'x');
        cases.push_back({x + "^by", {{"", x}, {"b", "y"}}});
        cases.push_back({x + "^", {{"", x + "^"}}});
        cases.push_back({x + "^^by", {{"", x + "^"}, {"b", "y"}}});
        cases.push_back({"^a" + x + "^b^C\"", {{"a", x}, {"b", ""}, {"c", "\""}}});
    }
    return cases;
}

// The rules, value by value: leading text, empty, repeated and upper-case
// codes, a '^' at the end or before anything but a letter or a digit.
const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = WithStepEnds({
        {"^aParis^bUnesco^c1965", {{"a", "Paris"}, {"b", "Unesco"}, {"c", "1965"}}},
        {"Slatyer^bed.", {{"", "Slatyer"}, {"b", "ed."}}},
        {"no delimiter", {{"", "no delimiter"}}},
        {"", {{"", ""}}},
        {"^a", {{"a", ""}}},
        {"^a^b", {{"a", ""}, {"b", ""}}},
        {"^aOne^aTwo^aThree", {{"a", "One"}, {"a", "Two"}, {"a", "Three"}}},
        {"^AUpper^Bcase^zlower", {{"a", "Upper"}, {"b", "case"}, {"z", "lower"}}},
        {"^1first^9", {{"1", "first"}, {"9", ""}}},
        {"trailing^", {{"", "trailing^"}}},
        {"^", {{"", "^"}}},
        {"^a^", {{"a", "^"}}},
        {"^^a", {{"", "^"}, {"a", ""}}},
        {"a^.b^ c^-d^,e^^", {{"", "a^.b^ c^-d^,e^^"}}},
        {"^aPrice ^ 5^b", {{"a", "Price ^ 5"}, {"b", ""}}},
        {"x^\xC3\xA9y^\xC3\xA9", {{"", "x^\xC3\xA9y^\xC3\xA9"}}},
        {"^aquote \" backslash \\ tab\t^bline\nfeed",
         {{"a", "quote \" backslash \\ tab\t"}, {"b", "line\nfeed"}}},
        {"^a" + std::string(40, 'x') + "^b" + std::string(17, 'y') + "^c",
         {{"a", std::string(40, 'x')}, {"b", std::string(17, 'y')}, {"c", ""}}},
    });
    return cases;
}

// Collects what the splitter hands on.
struct Collected {
    Pairs pairs;
    void Start(char code) { pairs.emplace_back(code == '\0' ? "" : std::string(1, code), ""); }
    void Text(const unsigned char* bytes, std::size_t length) {
        ASSERT_FALSE(pairs.empty()) << "text before a subfield began";
        pairs.back().second.append(reinterpret_cast<const char*>(bytes), length);
    }
};

// The value cut at `cuts`, each piece in a buffer of its own with the
// readable slack that every piece has after it.
Pairs SplitInPieces(const std::string& value, const std::vector<std::size_t>& cuts) {
    subfields::Splitter splitter;
    Collected collected;
    std::size_t start = 0;
    std::vector<std::size_t> ends = cuts;
    ends.push_back(value.size());
    for (const std::size_t end : ends) {
        std::vector<unsigned char> piece(value.begin() + static_cast<std::ptrdiff_t>(start),
                                         value.begin() + static_cast<std::ptrdiff_t>(end));
        const std::size_t length = piece.size();
        piece.resize(length + kViewSlack, '^');  // slack that looks like delimiters
        splitter.Piece(piece.data(), length, collected);
        start = end;
    }
    splitter.End(collected);
    return collected.pairs;
}

// A '^' at the end of one piece and its code at the start of the next split
// as in one piece: each value whole, cut at every place, and in pieces of a
// byte.
TEST(Subfields, EachValueSplitsByTheRulesWholeAndInPieces) {
    for (const Case& c : Cases()) {
        std::vector<std::size_t> everyByte;
        for (std::size_t cut = 0; cut <= c.value.size(); ++cut) {
            EXPECT_EQ(SplitInPieces(c.value, {cut}), c.pairs) << c.value << " cut at " << cut;
            if (cut > 0 && cut < c.value.size()) {
                everyByte.push_back(cut);
            }
        }
        EXPECT_EQ(SplitInPieces(c.value, everyByte), c.pairs) << c.value << " byte by byte";
    }
}

// The "subfields" of every field of the JSON Lines export, by MFN.
std::vector<std::vector<Pairs>> ExportedPairs(const std::string& output) {
    std::vector<std::vector<Pairs>> records;
    for (std::size_t at = 0; at < output.size();) {
        const std::size_t end = output.find('\n', at);
        const nlohmann::json record = nlohmann::json::parse(output.substr(at, end - at));
        std::vector<Pairs> fields;
        for (const auto& field : record.at("fields")) {
            EXPECT_FALSE(field.contains("value"));
            Pairs pairs;
            for (const auto& pair : field.at("subfields")) {
                EXPECT_EQ(pair.size(), 2u);
                pairs.emplace_back(pair.at(0).get<std::string>(), pair.at(1).get<std::string>());
            }
            fields.push_back(pairs);
        }
        records.push_back(fields);
        at = end == std::string::npos ? output.size() : end + 1;
    }
    return records;
}

// The same values held in memory (MFN 1) and read from the file in pieces,
// in a record larger than the reader's buffer (MFN 2).
TEST(Subfields, JsonLinesParsesBackToTheSplitValues) {
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::Ffi);
    FixtureRecord small;
    FixtureRecord large;
    std::vector<Pairs> expected;
    for (const Case& c : Cases()) {
        // Tags outside 0 to 999 too, whose markup is made as they come.
        const std::size_t place = small.fields.size();
        small.fields.push_back({static_cast<std::int16_t>(place == 0   ? -5
                                                          : place == 1 ? 1500
                                                                       : place),
                                c.value});
        expected.push_back(c.pairs);
    }
    large.fields = small.fields;
    large.fields.push_back({999, std::string(300 * 1024, 'f')});
    db.Add(small);
    db.Add(large);
    std::vector<Pairs> expectedLarge = expected;
    expectedLarge.push_back({{"", std::string(300 * 1024, 'f')}});

    TempDir dir;
    db.WriteTo(dir.path());
    for (const char* encoding : {"", "--encoding=cp850"}) {
        std::vector<std::string> arguments = {"-f", "jsonl", "--subfields", "-o", "-"};
        if (*encoding != '\0') {
            arguments.push_back(encoding);
        }
        const ExportRun run = RunExport(dir.path(), arguments);
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;
        std::vector<std::vector<Pairs>> records = ExportedPairs(run.stdoutText);
        if (*encoding != '\0') {
            // In cp850, the two bytes of UTF-8's é are two characters.
            const auto utf8 = std::find_if(Cases().begin(), Cases().end(), [](const Case& c) {
                return c.value == "x^\xC3\xA9y^\xC3\xA9";
            });
            const auto at = static_cast<std::size_t>(utf8 - Cases().begin());
            const Pairs twice = {{"", "x^\xE2\x94\x9C\xC2\xAEy^\xE2\x94\x9C\xC2\xAE"}};
            expected.at(at) = twice;
            expectedLarge.at(at) = twice;
        }
        ASSERT_EQ(records.size(), 2u) << encoding;
        const std::size_t firstLine = run.stdoutText.find('\n');
        EXPECT_EQ(run.stdoutText.rfind("{\"mfn\":1,\"fields\":[{\"tag\":-5,\"subfields\":[", 0),
                  0u);
        EXPECT_LT(run.stdoutText.find("},{\"tag\":1500,\"subfields\":["), firstLine);
        EXPECT_EQ(records[0], expected) << encoding;
        EXPECT_EQ(records[1], expectedLarge) << encoding;
    }
}

// The reader hands a value that lies in the file over in pieces of 64 KiB:
// a '^' that ends one and a code that starts the next make a delimiter, a
// '^' that ends one before punctuation is text.
TEST(Subfields, DelimitersAcrossTheReadersPieces) {
    const std::size_t piece = 64 * 1024;
    const std::string lead = std::string(piece - 1, 'l');          // '^' at 65535
    const std::string middle = std::string(piece - 2, 'm');        // '^' at 131071
    const std::string tail = ".and on" + std::string(70000, 't');  // '.' at 131072
    const std::string value = lead + "^b" + middle + "^" + tail + "^";
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::Ffi);
    db.Add({{{1, value}, {2, std::string(200 * 1024, 'f')}}});
    TempDir dir;
    db.WriteTo(dir.path());
    const ExportRun run = RunExport(dir.path(), {"-f", "jsonl", "--subfields", "-o", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    const std::vector<std::vector<Pairs>> records = ExportedPairs(run.stdoutText);
    ASSERT_EQ(records.size(), 1u);
    ASSERT_EQ(records[0].size(), 2u);
    EXPECT_EQ(records[0][0], (Pairs{{"", lead}, {"b", middle + "^" + tail + "^"}}));
}

// Split before conversion: a delimiter is ASCII in every code page, and a
// byte that is not UTF-8 is mended in its subfield, with one message for
// the field.
TEST(Subfields, BytesThatAreNotUtf8InSubfields) {
    DatabaseWriter db;
    db.Add({{{26, "^aHollerw\x94ger^bWien^c\x81"}}});
    TempDir dir;
    db.WriteTo(dir.path());
    ExportRun run = RunExport(dir.path(), {"-f", "jsonl", "--subfields", "-o", "-"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(ExportedPairs(run.stdoutText).at(0).at(0),
              (Pairs{{"a", "Hollerw\xEF\xBF\xBDger"}, {"b", "Wien"}, {"c", "\xEF\xBF\xBD"}}));
    EXPECT_EQ(run.stderrText,
              "mstexport: ths.mst: MFN 1: field with tag 26 is not valid UTF-8 (byte 0x94, 2 such "
              "bytes); written with U+FFFD: give --encoding with the database's code page\n");

    run = RunExport(dir.path(), {"-f", "jsonl", "--subfields", "-e", "cp850", "-o", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_EQ(ExportedPairs(run.stdoutText).at(0).at(0),
              (Pairs{{"a", "Hollerw\xC3\xB6ger"}, {"b", "Wien"}, {"c", "\xC3\xBC"}}));
}

}  // namespace
