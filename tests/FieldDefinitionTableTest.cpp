// The field definition table, line by line: what each kind of line gives,
// and what is said of the lines that cannot be read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DatabaseWriter.hpp"
#include "FieldTable.hpp"
#include "TempDir.hpp"
#include "charset/Charset.hpp"
#include "record/FieldDefinitionTable.hpp"

namespace {

struct Defined {
    int tag;
    std::string name;
    std::string codes;
    int length;
    int type;
    bool repeatable;
    int line;
};

bool operator==(const Defined& a, const FieldDefinition& b) {
    return a.tag == b.tag && a.name == b.name && a.codes == b.subfieldCodes &&
           a.length == b.length && a.type == b.type && a.repeatable == b.repeatable &&
           a.line == b.line;
}

struct Row {
    const char* what;
    std::string text;
    const char* encoding;  // nullptr for none
    std::vector<Defined> fields;
    std::vector<std::string> messages;
};

// The numbers of a line after its 50 columns of name and codes.
std::string Line(const std::string& name, const std::string& codes, const std::string& numbers) {
    std::string line = name;
    line.resize(30, ' ');
    line += codes;
    line.resize(50, ' ');
    return line + numbers;
}

TEST(FieldDefinitionTable, WhatEachLineGives) {
    const std::string title = Line("Title", "", "24 200 0 0");
    const std::string author = Line("Personal author", "ab", "70 50 1 1");
    const Defined titleAt1{24, "Title", "", 200, 0, false, 1};
    const Defined authorAt2{70, "Personal author", "ab", 50, 1, true, 2};
    const std::string skipped = "; line skipped";
    std::vector<std::string> manyBad;
    std::string many;
    for (int line = 1; line <= 25; ++line) {
        many += Line("Bad", "", "0 1 0 0") + "\n";
        if (line <= 20) {
            manyBad.push_back("t.fdt: line " + std::to_string(line) +
                              ": the tag '0' is not a number from 1 to 999" + skipped);
        }
    }
    manyBad.push_back("t.fdt: 5 more lines skipped, not listed one by one");
    const Row rows[] = {
        {"as the writer writes it, header and CR LF",
         FieldTableText({{"Title", "", 24, 200}, {"Personal author", "ab", 70, 50, 1, true}},
                        {"W: 1", "a worksheet line"}),
         nullptr,
         {{24, "Title", "", 200, 0, false, 4}, {70, "Personal author", "ab", 50, 1, true, 5}},
         {}},
        {"LF, no header", title + "\n" + author + "\n", nullptr, {titleAt1, authorAt2}, {}},
        {"no line end after the last", title + "\r\n" + author, nullptr, {titleAt1, authorAt2}, {}},
        {"trailing spaces and blank lines",
         title + "   \n\n   \r\n" + author + "  \n",
         nullptr,
         {titleAt1, {70, "Personal author", "ab", 50, 1, true, 4}},
         {}},
        {"numbers spaced widely, a tag with leading zeros",
         Line("Title", "", "  024   200  0   0"),
         nullptr,
         {titleAt1},
         {}},
        {"a header's end with spaces after it",
         "anything at all\n*** \n" + title + "\n",
         nullptr,
         {{24, "Title", "", 200, 0, false, 3}},
         {}},
        {"tags out of range or not numbers",
         Line("A", "", "0 1 0 0") + "\n" + Line("B", "", "1000 1 0 0") + "\n" +
             Line("C", "", "x1 1 0 0") + "\n" + Line("D", "", "-5 1 0 0") + "\n" + title,
         nullptr,
         {{24, "Title", "", 200, 0, false, 5}},
         {"t.fdt: line 1: the tag '0' is not a number from 1 to 999" + skipped,
          "t.fdt: line 2: the tag '1000' is not a number from 1 to 999" + skipped,
          "t.fdt: line 3: the tag 'x1' is not a number from 1 to 999" + skipped,
          "t.fdt: line 4: the tag '-5' is not a number from 1 to 999" + skipped}},
        {"fields missing or too many",
         Line("Title", "", "24 200 0") + "\n" + "Title\n" + Line("", "ab", "24 200 0 0") + "\n" +
             Line("Title", "", "24 200 0 0 7") + "\n" + Line("Title", "", "24 long 0 0") + "\n" +
             Line("Title", "", "24 200 x 0") + "\n" + Line("Title", "", "24 200 0 2"),
         nullptr,
         {},
         {"t.fdt: line 1: the tag, length, type and repeatable flag after column 50 are not all "
          "there" +
              skipped,
          "t.fdt: line 2: the tag, length, type and repeatable flag after column 50 are not all "
          "there" +
              skipped,
          "t.fdt: line 3: no name in columns 1 to 30" + skipped,
          "t.fdt: line 4: more than the tag, length, type and repeatable flag after column 50" +
              skipped,
          "t.fdt: line 5: the length 'long' is not a number" + skipped,
          "t.fdt: line 6: the type 'x' is not a number" + skipped,
          "t.fdt: line 7: the repeatable flag '2' is not 0 or 1" + skipped}},
        {"a tag named twice",
         title + "\n" + Line("Again", "", "24 10 0 0") + "\n",
         nullptr,
         {titleAt1},
         {"t.fdt: line 2: tag 24 is named on line 1 already" + skipped}},
        {"many lines that cannot be read", many, nullptr, {}, manyBad},
        {"a name in cp852, without --encoding",
         Line("Izdava\x9F", "", "26 80 0 0"),
         nullptr,
         {{26, "Izdava\xEF\xBF\xBD", "", 80, 0, false, 1}},
         {"t.fdt: the name on line 1 is not valid UTF-8 (byte 0x9F); written with U+FFFD: give "
          "--encoding with the database's code page"}},
        {"names in cp852, with --encoding=cp852",
         Line("Izdava\x9F", "", "26 80 0 0") + "\n" + Line("Ra\x9Fun \xE7\xA7", "", "90 10 0 0"),
         "cp852",
         {{26, "Izdava\xC4\x8D", "", 80, 0, false, 1},
          {90, "Ra\xC4\x8Dun \xC5\xA1\xC5\xBE", "", 10, 0, false, 2}},
         {}},
        {"two names not UTF-8, one message",
         title + "\n" + Line("Izdava\x9F", "", "26 80 0 0") + "\n" +
             Line("Ra\xE7un", "", "90 10 0 0"),
         nullptr,
         {titleAt1,
          {26, "Izdava\xEF\xBF\xBD", "", 80, 0, false, 2},
          {90, "Ra\xEF\xBF\xBDun", "", 10, 0, false, 3}},
         {"t.fdt: 2 names, from line 2 on, are not valid UTF-8 (byte 0x9F first); written with "
          "U+FFFD: give --encoding with the database's code page"}},
        {"a byte that cp1252 leaves undefined",
         Line("Odd \x81", "", "5 1 0 0"),
         "cp1252",
         {{5, "Odd \xEF\xBF\xBD", "", 1, 0, false, 1}},
         {"t.fdt: the name on line 1 holds byte 0x81, which cp1252 does not define; written as "
          "U+FFFD"}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> messages;
        const Charset* charset = row.encoding != nullptr ? Charset::Find(row.encoding) : nullptr;
        const FieldNames names = ParseFieldDefinitionTable(row.text, "t.fdt", charset, messages);
        EXPECT_EQ(messages, row.messages) << row.what;
        ASSERT_EQ(names.Fields().size(), row.fields.size()) << row.what;
        for (std::size_t i = 0; i < row.fields.size(); ++i) {
            EXPECT_TRUE(row.fields[i] == names.Fields()[i])
                << row.what << ": field " << i << " is " << names.Fields()[i].tag << " '"
                << names.Fields()[i].name << "' on line " << names.Fields()[i].line;
            const std::string* name = names.NameOf(row.fields[i].tag);
            ASSERT_NE(name, nullptr) << row.what;
            EXPECT_EQ(*name, row.fields[i].name) << row.what;
        }
        for (const int tag : {-24, 0, 25, 999, 1000}) {
            EXPECT_EQ(names.NameOf(tag), nullptr) << row.what << ": tag " << tag;
        }
    }
}

TEST(FieldDefinitionTable, FilesThatCannotBeRead) {
    const TempDir dir;
    const std::string missing = (dir.path() / "missing.fdt").string();
    const std::string large = (dir.path() / "large.fdt").string();
    WriteFile(large, std::string(static_cast<std::size_t>(kLargestFieldTable) + 1, ' '));
    const std::string fine = (dir.path() / "fine.fdt").string();
    WriteFile(fine, Line("Title", "", "24 200 0 0"));
    FieldNames names;
    std::vector<std::string> messages;
    std::string failure;
    EXPECT_FALSE(ReadFieldDefinitionTable(missing, nullptr, names, messages, failure));
    EXPECT_EQ(failure.rfind("cannot read " + missing + ": ", 0), 0u) << failure;
    EXPECT_FALSE(ReadFieldDefinitionTable(large, nullptr, names, messages, failure));
    EXPECT_EQ(failure, "cannot read " + large +
                           ": larger than 1 MiB, too large for a field definition table");
    EXPECT_TRUE(ReadFieldDefinitionTable(fine, nullptr, names, messages, failure));
    EXPECT_EQ(names.Fields().size(), 1u);
    EXPECT_TRUE(messages.empty());
}

}  // namespace
