#include "charset/CodePageGuess.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CharsetConversion.hpp"
#include "DatabaseWriter.hpp"
#include "OpenDatabase.hpp"
#include "charset/PageCharacters.hpp"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const CodePageGuess& guess) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < guess.candidates; ++i) {
        names.emplace_back(guess.ranking[i].charset->Name());
    }
    return names;
}

std::string Join(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : " ") + name;
    }
    return text;
}

CodePageEvidence EvidenceOf(const std::vector<std::string>& values) {
    CodePageEvidence evidence;
    for (const std::string& value : values) {
        evidence.Add(reinterpret_cast<const unsigned char*>(value.data()), value.size());
    }
    return evidence;
}

// Every value of the database, read as the export reads it.
std::vector<std::string> ReadValues(MasterFileReader& reader) {
    std::vector<std::string> values;
    RecordFields record;
    for (std::int32_t mfn = 1; mfn <= reader.lastMfn; ++mfn) {
        EXPECT_TRUE(reader.ReadRecord(mfn, record));
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
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const Converted converted = ConvertToUtf8(charset, std::string(1, static_cast<char>(byte)));
        if (converted.problem.badBytes == 0) {
            bytes.emplace(converted.text, static_cast<char>(byte));
        }
    }
    std::string encoded;
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t size = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (size == 1) {
            encoded += text[at];
        } else {
            const auto found = bytes.find(text.substr(at, size));
            EXPECT_NE(found, bytes.end()) << charset.Name() << " has no " << text.substr(at, size);
            encoded += found == bytes.end() ? '?' : found->second;
        }
        at += size;
    }
    return encoded;
}

std::string ReadText(const std::string& language) {
    std::ifstream file(fs::path(MSTEXPORT_TEST_DATA) / (language + ".txt"), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// A record per paragraph, a field per sentence.
DatabaseWriter LanguageDatabase(const std::string& text, const Charset& charset) {
    DatabaseWriter db;
    std::istringstream paragraphs(text);
    for (std::string paragraph; std::getline(paragraphs, paragraph);) {
        FixtureRecord record;
        for (std::size_t at = 0; at < paragraph.size();) {
            std::size_t end = paragraph.find(". ", at);
            end = end == std::string::npos ? paragraph.size() : end + 1;
            record.fields.push_back({10, Encode(paragraph.substr(at, end - at), charset)});
            at = end + 1;
        }
        if (!record.fields.empty()) {
            db.Add(record);
        }
    }
    return db;
}

std::vector<const Charset*> AllCharsets() {
    std::vector<const Charset*> charsets;
    for (const std::string& name : CanonicalNames()) {
        charsets.push_back(Charset::Find(name));
    }
    return charsets;
}

// The charsets under which every value reads as `text`'s sentences.
std::vector<std::string> PagesThatReadRight(const std::vector<std::string>& values,
                                            const Charset& written) {
    std::vector<std::string> names;
    for (const Charset* charset : AllCharsets()) {
        bool right = true;
        for (const std::string& value : values) {
            right =
                right && ConvertToUtf8(*charset, value).text == ConvertToUtf8(written, value).text;
        }
        if (right) {
            names.emplace_back(charset->Name());
        }
    }
    return names;
}

struct LanguagePages {
    const char* language;
    std::vector<const char*> pages;
};

// Each language in the pages it was written in. The guess has to name
// exactly the pages that read the database right: the one it was written
// in, with any other that reads every one of its bytes the same (German's
// letters are the same bytes in cp437, cp850 and cp852). A page that reads
// it wrong is never named, not even beside the right one.
TEST(CodePageGuess, NamesThePagesThatReadEachLanguageRight) {
    const LanguagePages kLanguages[] = {
        {"croatian", {"cp852", "cp1250", "iso-8859-2", "utf-8"}},
        {"portuguese", {"cp850", "cp1252", "iso-8859-1", "utf-8"}},
        {"spanish", {"cp437", "cp850", "cp1252", "iso-8859-1", "utf-8"}},
        {"french", {"cp437", "cp850", "cp1252", "iso-8859-1", "utf-8"}},
        {"german", {"cp437", "cp850", "cp1252", "utf-8"}},
        {"russian", {"cp866", "cp855", "cp1251", "utf-8"}},
    };
    for (const LanguagePages& language : kLanguages) {
        const std::string text = ReadText(language.language);
        ASSERT_GT(text.size(), 1000u) << language.language;
        for (const char* page : language.pages) {
            SCOPED_TRACE(std::string(language.language) + " in " + page);
            const Charset& written = *Charset::Find(page);
            OpenDatabase db(LanguageDatabase(text, written));
            const std::vector<std::string> values = ReadValues(db.reader);
            const CodePageGuess guess = GuessCodePage(EvidenceOf(values));

            std::vector<std::string> candidates = Names(guess);
            std::vector<std::string> right = PagesThatReadRight(values, written);
            std::sort(candidates.begin(), candidates.end());
            std::sort(right.begin(), right.end());
            EXPECT_EQ(Join(candidates), Join(right));
            EXPECT_EQ(guess.verdict, right.size() == 1 ? CodePageGuess::Verdict::OnePage
                                                       : CodePageGuess::Verdict::Undecided);
            EXPECT_TRUE(guess.readAlike);
        }
    }
}

// The project's sample database, when it is there: French, Spanish and
// Portuguese titles whose bytes read the same in cp437 and cp850, and whose
// è (0x8A) cp852 reads as Ő inside lower-case words.
TEST(CodePageGuess, TheSampleDatabaseReadsAsCp850OrCp437) {
    const fs::path sample = MSTEXPORT_SAMPLES;
    if (!fs::exists(sample / "ths.mst")) {
        GTEST_SKIP() << sample << " is not there";
    }
    InputFile master;
    InputFile crossRef;
    std::string reason;
    ASSERT_TRUE(master.Open((sample / "ths.mst").string(), reason)) << reason;
    ASSERT_TRUE(crossRef.Open((sample / "ths.xrf").string(), reason)) << reason;
    MasterFileReader reader;
    reader.master = &master;
    reader.crossRef = &crossRef;
    ASSERT_EQ(reader.ReadControlRecord(), 0);
    const CodePageEvidence evidence = EvidenceOf(ReadValues(reader));
    const CodePageGuess guess = GuessCodePage(evidence);

    std::vector<std::string> candidates = Names(guess);
    std::sort(candidates.begin(), candidates.end());
    EXPECT_TRUE(Join(candidates) == "cp437 cp850" || Join(candidates) == "cp850")
        << Join(candidates);
    EXPECT_EQ(std::string(guess.ranking[0].charset->Name()), "cp850");
    EXPECT_TRUE(guess.readAlike);

    // The words that show the user why not cp852.
    const Charset& cp850 = *Charset::Find("cp850");
    const Charset& cp852 = *Charset::Find("cp852");
    std::vector<std::string> shown;
    for (const CodePageEvidence::Word* word : WordsThatTellApart(evidence, {&cp850, &cp852}, 5)) {
        shown.push_back(DecodeWord(*word, cp850) + "/" + DecodeWord(*word, cp852));
    }
    EXPECT_FALSE(shown.empty());
    EXPECT_NE(std::find(shown.begin(), shown.end(), u8"Problèmes/ProblŐmes"), shown.end())
        << Join(shown);
}

struct RuleCase {
    const char* evidence;
    std::vector<std::string> values;
    std::vector<const char*> named;     // all of them candidates
    std::vector<const char*> notNamed;  // none of them
};

TEST(CodePageGuess, CountsWhatMisfitsAgainstAPage) {
    const RuleCase kCases[] = {
        {"cp852's 0x8A is an upper-case letter inside lower-case words",
         {"Probl\x8Ames", "Minist\x8Are", "p\x8Are"},
         {"cp850", "cp437"},
         {"cp852"}},
        {"cp437's 0xD4 and 0xB7 are box drawing where cp850 has capitals",
         {"MINIST\xD4RE DE L'\x90"
          "DUCATION",
          "\xB7 PARIS"},
         {"cp850"},
         {"cp437"}},
        {"a degree sign is a symbol, where the DOS pages have box drawing",
         {"12\xB0"
          "C",
          "20\xB0"
          "C"},
         {"cp1252", "iso-8859-1"},
         {"cp437", "cp850", "cp866"}},
        {"iso-8859-1's 0x92 to 0x94 are control characters where cp1252 has quotes",
         {"l\x92hiver", "\x93Les Mis\xE9rables\x94"},
         {"cp1252"},
         {"iso-8859-1"}},
        {"cp1252 leaves 0x81 undefined",
         {"M\x81ller", "G\x81nther",
          "\x81"
          "ber"},
         {"cp850"},
         {"cp1252", "iso-8859-1"}},
        {"cp1251's 0xE9 and 0xE8 are Cyrillic letters between Latin ones",
         {"caf\xE9", "r\xE9sum\xE9", "probl\xE8me"},
         {"cp1252"},
         {"cp1251"}},
        {"cp855 reads cp1251's lower-case Cyrillic as a mix of cases",
         {"\xEA\xED\xE8\xE3\xE0", "\xE1\xE8\xE1\xEB\xE8\xEE\xF2\xE5\xEA\xE0"},
         {"cp1251"},
         {"cp855", "cp866"}},
        {"cp1250 reads French as the letters of many languages",
         {"probl\xE8me", "d\xE9j\xE0", "for\xEAt", "o\xF9"},
         {"cp1252", "iso-8859-1"},
         {"cp1250", "iso-8859-2"}},
        {"valid UTF-8 sequences are UTF-8",
         {"caf\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
         {"utf-8"},
         {"cp1252", "cp850"}},
        {"one byte that begins no valid sequence rules out UTF-8",
         {"caf\xC3\xA9", "\xC3\xA9t\xC3\xA9", "\xE9t\xE9"},
         {},
         {"utf-8"}},
    };
    for (const RuleCase& c : kCases) {
        const CodePageGuess guess = GuessCodePage(EvidenceOf(c.values));
        const std::vector<std::string> candidates = Names(guess);
        const auto named = [&](const char* name) {
            return std::find(candidates.begin(), candidates.end(), name) != candidates.end();
        };
        for (const char* name : c.named) {
            EXPECT_TRUE(named(name))
                << c.evidence << ": " << name << " not in " << Join(candidates);
        }
        for (const char* name : c.notNamed) {
            EXPECT_FALSE(named(name)) << c.evidence << ": " << name << " in " << Join(candidates);
        }
    }
}

// One misfit in a few values tells pages apart; in a large database a
// stray byte is no evidence.
TEST(CodePageGuess, NeedsMoreMisfitsToTellPagesApartInALargerDatabase) {
    for (const std::size_t values : {20, 2000}) {
        // é in cp437, cp850 and cp852, then one ã of cp850 that cp437 reads
        // as box drawing and cp852 as an upper-case letter.
        std::vector<std::string> text(values, "caf\x82");
        text.emplace_back("n\xC6o");
        const std::vector<std::string> candidates = Names(GuessCodePage(EvidenceOf(text)));
        EXPECT_EQ(Join(candidates), values == 20 ? "cp850" : "cp850 cp852 cp437") << values;
    }
}

TEST(CodePageGuess, RanksUtf8LastWhenRuledOut) {
    const CodePageGuess guess = GuessCodePage(EvidenceOf({"caf\xC3\xA9", "caf\xE9"}));
    ASSERT_EQ(guess.ranking.size(), CanonicalNames().size());
    EXPECT_EQ(guess.ranking.back().charset, &Charset::Utf8());
    EXPECT_TRUE(guess.ranking.back().ruledOut);
}

TEST(CodePageGuess, SaysAnyPageReadsAsciiValues) {
    const CodePageGuess guess = GuessCodePage(EvidenceOf({"Soil moisture", "1965", ""}));
    EXPECT_EQ(guess.verdict, CodePageGuess::Verdict::AllAscii);
    EXPECT_EQ(guess.candidates, CanonicalNames().size());
    EXPECT_TRUE(guess.readAlike);
}

TEST(CodePageGuess, SaysWhenTheCandidatesReadTheBytesDifferently) {
    // 0x85 is à in cp850 and ů in cp852, lower-case letters both, and the
    // alphabets of several languages hold either.
    const CodePageGuess guess = GuessCodePage(EvidenceOf({"\x85 la carte", "j\x85"}));
    std::vector<std::string> candidates = Names(guess);
    EXPECT_EQ(guess.verdict, CodePageGuess::Verdict::Undecided);
    EXPECT_NE(std::find(candidates.begin(), candidates.end(), "cp850"), candidates.end());
    EXPECT_NE(std::find(candidates.begin(), candidates.end(), "cp852"), candidates.end());
    EXPECT_FALSE(guess.readAlike);
}

TEST(CodePageGuess, DecodesTheWordsKeptUnderAnyCharset) {
    const CodePageEvidence evidence =
        EvidenceOf({"Probl\x8Ames de l'\x82"
                    "cole"});
    ASSERT_EQ(evidence.Words().size(), 2u);
    EXPECT_EQ(DecodeWord(evidence.Words()[0], *Charset::Find("cp850")), u8"Problèmes");
    EXPECT_EQ(DecodeWord(evidence.Words()[0], *Charset::Find("cp852")), u8"ProblŐmes");
    EXPECT_EQ(DecodeWord(evidence.Words()[1], Charset::Utf8()),
              "\xEF\xBF\xBD"
              "cole");
    const Charset* cp437 = Charset::Find("cp437");
    const Charset* cp850 = Charset::Find("cp850");
    const Charset* cp852 = Charset::Find("cp852");
    EXPECT_TRUE(WordsThatTellApart(evidence, {cp437, cp850}, 5).empty());
    const auto apart = WordsThatTellApart(evidence, {cp437, cp850, cp852}, 5);
    ASSERT_EQ(apart.size(), 1u);
    EXPECT_EQ(apart[0], &evidence.Words()[0]);
    EXPECT_TRUE(WordsThatTellApart(evidence, {cp850, cp852}, 0).empty());
}

// The generated table of characters and the conversion tables come from the
// same run of the generator: every page is in both, and agrees on the bytes
// it leaves undefined.
TEST(PageCharacters, DescribeEverySingleBytePageTheConversionKnows) {
    std::set<std::string> described;
    for (const charset::PageCharacters& page : charset::SingleBytePages()) {
        const Charset* charset = Charset::Find(page.name);
        ASSERT_NE(charset, nullptr) << page.name;
        EXPECT_EQ(std::string(charset->Name()), page.name);
        EXPECT_TRUE(described.insert(page.name).second) << page.name;
        for (int byte = 0x80; byte <= 0xFF; ++byte) {
            const Converted converted =
                ConvertToUtf8(*charset, std::string(1, static_cast<char>(byte)));
            const charset::HighByteCharacter& character = page.high[byte - 0x80];
            EXPECT_EQ(character.kind == charset::CharacterKind::Undefined,
                      converted.problem.badBytes == 1)
                << page.name << " " << byte;
            EXPECT_TRUE(character.IsLetter() || character.languages == 0)
                << page.name << " " << byte;
        }
    }
    std::set<std::string> expected;
    for (const std::string& name : CanonicalNames()) {
        expected.insert(name);
    }
    expected.erase("utf-8");
    EXPECT_EQ(described, expected);
}

}  // namespace
