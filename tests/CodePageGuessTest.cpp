#include "charset/CodePageGuess.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CharsetConversion.hpp"
#include "DatabaseWriter.hpp"
#include "TempDir.hpp"
#include "masterfile/MasterFileSource.hpp"

namespace fs = std::filesystem;

namespace {

std::string Joined(const std::set<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : " ") + name;
    }
    return text;
}

// The candidates' names, in alphabetical order.
std::string Candidates(const CodePageGuess& guess) {
    std::set<std::string> names;
    for (std::size_t i = 0; i < guess.candidates; ++i) {
        names.insert(guess.ranking[i].charset->Name());
    }
    return Joined(names);
}

CodePageEvidence EvidenceOf(const std::vector<std::string>& values) {
    CodePageEvidence evidence;
    for (const std::string& value : values) {
        evidence.Add(reinterpret_cast<const unsigned char*>(value.data()), value.size());
    }
    return evidence;
}

class Silent final : public ProblemSink {
  public:
    void Report(const RecordProblem& problem) override { ADD_FAILURE() << ProblemText(problem); }
};

// Every value of the database, read as the export reads it.
std::vector<std::string> ValuesOf(const fs::path& database) {
    MasterFileSource source(database.string());
    OpenFailure failure;
    EXPECT_TRUE(source.Open(failure));
    std::vector<std::string> values;
    RecordFields record;
    Silent silent;
    while (source.Next(record, silent)) {
        for (const FieldValue& field : record.fields) {
            values.emplace_back(reinterpret_cast<const char*>(field.bytes), field.length);
        }
    }
    return values;
}

// UTF-8 text into `charset`, through the reverse of its own conversion.
std::string Encode(const std::string& text, const Charset& charset) {
    if (&charset == &Charset::Utf8()) {
        return text;
    }
    std::map<std::string, char> bytes;
    for (int byte = 0; byte <= 0xFF; ++byte) {
        const Converted converted = ConvertToUtf8(charset, std::string(1, static_cast<char>(byte)));
        bytes.emplace(converted.text, static_cast<char>(byte));
    }
    std::string encoded;
    for (std::size_t at = 0, size = 1; at < text.size(); at += size) {
        const auto lead = static_cast<unsigned char>(text[at]);
        size = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const auto found = bytes.find(text.substr(at, size));
        EXPECT_NE(found, bytes.end()) << charset.Name() << " has no " << text.substr(at, size);
        encoded += found == bytes.end() ? '?' : found->second;
    }
    return encoded;
}

// The text of tests/data/LANGUAGE.txt as a database in `charset`, written
// into `directory`: a record per paragraph, a field per sentence.
void WriteLanguageDatabase(const std::string& language, const Charset& charset,
                           const fs::path& directory) {
    std::ifstream file(fs::path(MSTEXPORT_TEST_DATA) / (language + ".txt"), std::ios::binary);
    DatabaseWriter db;
    for (std::string paragraph; std::getline(file, paragraph);) {
        FixtureRecord record;
        for (std::size_t at = 0, end = 0; at < paragraph.size(); at = end + 1) {
            end = std::min(paragraph.find(". ", at), paragraph.size() - 1) + 1;
            record.fields.push_back({10, Encode(paragraph.substr(at, end - at), charset)});
        }
        db.Add(record);
    }
    EXPECT_GT(db.LastMfn(), 3) << language;
    db.WriteTo(directory);
}

// The charsets that read every value as `written` does.
std::string PagesThatReadRight(const std::vector<std::string>& values, const Charset& written) {
    std::set<std::string> names;
    for (const std::string& name : CanonicalNames()) {
        bool right = true;
        for (const std::string& value : values) {
            right = right && ConvertToUtf8(*Charset::Find(name), value).text ==
                                 ConvertToUtf8(written, value).text;
        }
        if (right) {
            names.insert(name);
        }
    }
    return Joined(names);
}

// Each language in the pages it was written in. The guess names exactly the
// pages that read the database right: the one it was written in, with any
// other that reads every byte in it the same (German's letters are the same
// bytes in cp437, cp850 and cp852). A page that reads it wrong is never
// named, not even beside the right one.
TEST(CodePageGuess, NamesThePagesThatReadEachLanguageRight) {
    const std::pair<const char*, std::vector<const char*>> kLanguages[] = {
        {"croatian", {"cp852", "cp1250", "iso-8859-2", "utf-8"}},
        {"portuguese", {"cp850", "cp1252", "iso-8859-1", "utf-8"}},
        {"spanish", {"cp437", "cp850", "cp1252", "iso-8859-1", "utf-8"}},
        {"french", {"cp437", "cp850", "cp1252", "iso-8859-1", "utf-8"}},
        {"german", {"cp437", "cp850", "cp1252", "utf-8"}},
        {"russian", {"cp866", "cp855", "cp1251", "utf-8"}},
    };
    for (const auto& [language, pages] : kLanguages) {
        for (const char* page : pages) {
            SCOPED_TRACE(std::string(language) + " in " + page);
            const Charset& written = *Charset::Find(page);
            const TempDir dir;
            WriteLanguageDatabase(language, written, dir.path());
            const std::vector<std::string> values = ValuesOf(dir.path() / "ths");
            const CodePageGuess guess = GuessCodePage(EvidenceOf(values));
            const std::string right = PagesThatReadRight(values, written);
            EXPECT_EQ(Candidates(guess), right);
            EXPECT_EQ(guess.verdict, right == page ? CodePageGuess::Verdict::OnePage
                                                   : CodePageGuess::Verdict::Undecided);
            EXPECT_TRUE(guess.readAlike);
        }
    }
}

// The project's sample database, when it is there: French, Spanish and
// Portuguese titles whose bytes read the same in cp437 and cp850, and whose
// è (0x8A) cp852 reads as Ő inside lower-case words; --info shows the words.
TEST(CodePageGuess, TheSampleDatabaseReadsAsCp850OrCp437) {
    const fs::path sample = MSTEXPORT_SAMPLES;
    if (!fs::exists(sample / "ths.mst")) {
        GTEST_SKIP() << sample << " is not there";
    }
    const CodePageGuess guess = GuessCodePage(EvidenceOf(ValuesOf(sample / "ths")));
    EXPECT_TRUE(Candidates(guess) == "cp437 cp850" || Candidates(guess) == "cp850")
        << Candidates(guess);
    EXPECT_STREQ(guess.ranking[0].charset->Name(), "cp850");
}

struct RuleCase {
    const char* evidence;
    std::vector<std::string> values;
    // "+page" for each page that must be a candidate, "-page" for each that
    // must not be one.
    const char* pages;
};

// What counts against a page, each rule on its own, and how many misfits
// it takes: one among a few values, more than one in 500 bytes in a large
// database, where a few stray bytes are no evidence.
TEST(CodePageGuess, CountsWhatMisfitsAgainstAPage) {
    std::vector<std::string> large(2000, "caf\x82");
    large.emplace_back("n\xC6o");
    const RuleCase kCases[] = {
        {"cp852's 0x8A is an upper-case letter inside lower-case words",
         {"Probl\x8Ames", "Minist\x8Are", "p\x8Are"},
         "+cp437 +cp850 -cp852"},
        {"cp437's 0xD4 and 0xB7 are box drawing where cp850 has capitals",
         {"MINIST\xD4RE, \x90TUDES", "\xB7 PARIS"},
         "+cp850 -cp437"},
        {"cp850 and cp1252 read cp852's z with caron (0xA7) as a sign inside a word",
         {"mu\xA7u"},
         "+cp852 -cp850 -cp1252"},
        {"iso-8859-1's 0x92 to 0x94 are control characters where cp1252 has quotes",
         {"l\x92hiver", "\x93Les Mis\xE9rables\x94"},
         "+cp1252 -iso-8859-1"},
        {"cp1252 leaves 0x81 undefined", {"M\x81ller", "G\x81nther"}, "+cp850 -cp1252 -iso-8859-1"},
        {"cp1251's 0xE9 and 0xE8 are Cyrillic letters between Latin ones",
         {"caf\xE9", "r\xE9sum\xE9", "probl\xE8me"},
         "+cp1252 -cp1251"},
        {"one byte that begins no valid sequence rules out UTF-8",
         {"caf\xC3\xA9", "\xC3\xA9t\xC3\xA9", "\xE9t\xE9"},
         "-utf-8"},
        {"one \xC6 that cp437 reads as box drawing and cp852 as a capital",
         {"caf\x82", "n\xC6o"},
         "+cp850 -cp437 -cp852"},
        {"the same \xC6 among 2000 values", large, "+cp437 +cp850 +cp852"},
    };
    for (const RuleCase& c : kCases) {
        const std::string candidates = " " + Candidates(GuessCodePage(EvidenceOf(c.values))) + " ";
        std::istringstream pages(c.pages);
        for (std::string page; pages >> page;) {
            const bool named = candidates.find(" " + page.substr(1) + " ") != std::string::npos;
            EXPECT_EQ(named, page[0] == '+') << c.evidence << ": " << page << " in" << candidates;
        }
    }
    const CodePageGuess ruledOut = GuessCodePage(EvidenceOf({"caf\xC3\xA9", "caf\xE9"}));
    EXPECT_EQ(ruledOut.ranking.back().charset, &Charset::Utf8());
    EXPECT_TRUE(ruledOut.ranking.back().ruledOut);
    const CodePageGuess ascii = GuessCodePage(EvidenceOf({"Soil moisture", "1965", ""}));
    EXPECT_EQ(ascii.verdict, CodePageGuess::Verdict::AllAscii);
    EXPECT_EQ(ascii.candidates, CanonicalNames().size());
    // à in cp437 and cp850, ů in cp852: lower-case letters of several
    // alphabets all, which the candidates read differently.
    const CodePageGuess undecided = GuessCodePage(EvidenceOf({"\x85 la carte", "j\x85"}));
    EXPECT_EQ(Candidates(undecided), "cp437 cp850 cp852");
    EXPECT_EQ(undecided.verdict, CodePageGuess::Verdict::Undecided);
    EXPECT_FALSE(undecided.readAlike);
}

}  // namespace
