// The command line, row by row: the arguments and what they ask for, or the
// one line that says what is wrong with them.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "cli/CommandLine.hpp"

namespace {

using Action = CommandLine::Action;
constexpr std::int32_t kLast = std::numeric_limits<std::int32_t>::max();

struct Row {
    std::vector<std::string> arguments;
    Action action;
    std::string database;
    std::string output;
    std::int32_t from;
    std::int32_t to;
};

TEST(CommandLine, WhatTheArgumentsAskFor) {
    const std::string fallback = "formatirani_izlaz.txt";
    const Row rows[] = {
        {{}, Action::Export, "", fallback, 1, kLast},
        {{"/data/CDS"}, Action::Export, "/data/CDS", fallback, 1, kLast},
        {{"cds.mst", "-o", "out.txt"}, Action::Export, "cds.mst", "out.txt", 1, kLast},
        {{"-oout.txt", "cds"}, Action::Export, "cds", "out.txt", 1, kLast},
        {{"--output=out.txt"}, Action::Export, "", "out.txt", 1, kLast},
        {{"--output", "-"}, Action::Export, "", "-", 1, kLast},
        {{"-o", "-", "--", "-odd-name"}, Action::Export, "-odd-name", "-", 1, kLast},
        {{"--from=5", "--to", "9"}, Action::Export, "", fallback, 5, 9},
        {{"--from", "1", "--to=99999999999"}, Action::Export, "", fallback, 1, kLast},
        {{"--to=7", "--from=7"}, Action::Export, "", fallback, 7, 7},
        {{"-h"}, Action::Help, "", fallback, 1, kLast},
        {{"--version", "--help"}, Action::Help, "", fallback, 1, kLast},
        {{"-V"}, Action::Version, "", fallback, 1, kLast},
        {{"db", "--version"}, Action::Version, "db", fallback, 1, kLast},
        {{"--info", "db"}, Action::Info, "db", "-", 1, kLast},
        {{"--info", "-f", "JSONL", "-o", "db.json"}, Action::Info, "", "db.json", 1, kLast},
        {{"--info", "--help"}, Action::Help, "", fallback, 1, kLast},
    };
    for (const Row& row : rows) {
        const CommandLine line = ParseCommandLine(row.arguments);
        const std::string shown = ::testing::PrintToString(row.arguments);
        EXPECT_EQ(line.error, "") << shown;
        EXPECT_EQ(line.action, row.action) << shown;
        EXPECT_EQ(line.database, row.database) << shown;
        EXPECT_EQ(line.settings.output, row.output) << shown;
        EXPECT_EQ(line.settings.from, row.from) << shown;
        EXPECT_EQ(line.settings.to, row.to) << shown;
        // Only the run without arguments creates its output before it
        // looks at the database.
        EXPECT_EQ(line.settings.outputFirst, row.arguments.empty()) << shown;
    }
}

TEST(CommandLine, WhatIsWrongWithTheArguments) {
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"--outptu=x"}, "unknown option '--outptu'"},
        {{"-x"}, "unknown option '-x'"},
        {{"-o"}, "option '-o' needs a value (FILE)"},
        {{"db", "--output"}, "option '--output' needs a value (FILE)"},
        {{"--help=yes"}, "option '--help' takes no value"},
        {{"-hV"}, "option '-h' takes no value"},
        {{"--from=abc"}, "--from takes an MFN, a whole number from 1 up, not 'abc'"},
        {{"--to", "-3"}, "--to takes an MFN, a whole number from 1 up, not '-3'"},
        {{"--from="}, "--from takes an MFN, a whole number from 1 up, not ''"},
        {{"--from=9", "--to=3"}, "--from 9 is after --to 3"},
        {{"--from=0"}, "--from takes an MFN, a whole number from 1 up, not '0'"},
        {{"--from=1", "--to=0"}, "--to takes an MFN, a whole number from 1 up, not '0'"},
        {{"-o", "a.txt", "--output=b.txt"}, "more than one output given: 'a.txt' and 'b.txt'"},
        {{"-o", ""}, "the output's name is empty"},
        {{"--", "-"}, "the database cannot come from standard input ('-'); name its files"},
        {{"-o", "out.txt", ""}, "the database's name is empty"},
        {{"a.mst", "b.mst"}, "more than one database given: 'a.mst' and 'b.mst'"},
        {{"-e", "cp999"},
         std::string("unknown encoding 'cp999'; the encodings are ") + Charset::NameList()},
        {{"--format=xml"}, "unknown format 'xml'; the formats are tagged, iso2709, jsonl and csv"},
        {{"--iso-line-end=lf"}, "--iso-delimiters and --iso-line-end go with --format=iso2709"},
        {{"--input=marc", "a.mrc"}, "--input takes master or iso2709, not 'marc'"},
        {{"--input=iso2709", "-o", "out.txt"},
         "--input=iso2709 needs the name of the ISO 2709 file"},
        {{"--info", "-f", "iso2709"},
         "--info writes text, or JSON with --format=jsonl; not --format=iso2709"},
        {{"-e", "cp852", "--info"},
         "--encoding does not go with --info, which shows the values under the likely code "
         "pages"},
        {{"--subfields"}, "--subfields goes with --format=jsonl"},
        {{"-f", "csv", "--subfields"}, "--subfields goes with --format=jsonl"},
        {{"--csv-bom", "-f", "jsonl"}, "--repeat-separator and --csv-bom go with --format=csv"},
        {{"-f", "csv", "--csv-bom=yes"}, "option '--csv-bom' takes no value"},
        {{"-f", "jsonl", "--repeat-separator"}, "option '--repeat-separator' needs a value (TEXT)"},
        {{"--fdt=names.fdt"},
         "--fdt goes with --info, --format=jsonl or --format=csv, which name fields"},
        {{"-f", "iso2709", "--no-fdt"},
         "--no-fdt goes with --info, --format=jsonl or --format=csv, which name "
         "fields"},
        {{"-f", "csv", "--fdt=a.fdt", "--no-fdt"}, "--fdt and --no-fdt cannot be given together"},
        {{"-f", "csv", "--fdt=a.fdt", "--fdt", "b.fdt"},
         "more than one field definition table given: 'a.fdt' and 'b.fdt'"},
        {{"-f", "jsonl", "--fdt="}, "the field definition table's name is empty"},
    };
    for (const auto& [arguments, error] : rows) {
        EXPECT_EQ(ParseCommandLine(arguments).error, error) << ::testing::PrintToString(arguments);
    }
}

// A name that ends in .iso, in any case, is an ISO 2709 file; --input says
// what any other name is, or that a .iso name is a master file after all.
TEST(CommandLine, WhichNamesAreIso2709Files) {
    const std::pair<std::vector<std::string>, bool> rows[] = {
        {{"old.iso"}, true},
        {{"/data/OLD.ISO"}, true},
        {{"old.IsO", "-f", "jsonl"}, true},
        {{"--input=iso2709", "old.dat"}, true},
        {{"--input", "ISO2709", "old"}, true},
        {{"old.iso.mst"}, false},
        {{"iso"}, false},
        {{"old.iso/"}, false},
        {{}, false},
        {{"--input=master", "old.iso"}, false},
        {{"--input=iso2709", "--input=master", "old.iso"}, false},
    };
    for (const auto& [arguments, iso] : rows) {
        const CommandLine line = ParseCommandLine(arguments);
        EXPECT_EQ(line.error, "") << ::testing::PrintToString(arguments);
        EXPECT_EQ(ReadsIso2709(line), iso) << ::testing::PrintToString(arguments);
    }
}

TEST(CommandLine, HelpListsEveryOptionAndTheExitStatuses) {
    const std::string help = HelpText();
    for (const char* expected :
         {"Usage: mstexport [OPTIONS] [DATABASE]\n", "\n  -o, --output=FILE ",
          "\n      --from=MFN ", "\n      --to=MFN ", "\n      --info ", "\n  -h, --help ",
          "\n  -V, --version ", "\n  0  ", "\n  1  ", "\n  2  "}) {
        EXPECT_NE(help.find(expected), std::string::npos) << expected;
    }
}

// Each format's options come from the table of formats: --help lists them,
// each takes its words, any text, or no value, and with another format each
// is refused.
TEST(CommandLine, FormatOptionsAreInTheHelpAndGoWithTheirFormatOnly) {
    const std::string help = HelpText();
    for (const Format* format : Formats()) {
        EXPECT_NE(help.find(format->name), std::string::npos) << format->name;
        for (const FormatOption& option : format->options) {
            const std::string name = std::string("--") + option.name;
            const bool takesValue = option.valueName != nullptr;
            EXPECT_NE(help.find("\n      " + name +
                                (takesValue ? std::string("=") + option.valueName : "") + " "),
                      std::string::npos)
                << name;
            EXPECT_NE(help.find(std::string(option.help) + "\n"), std::string::npos) << name;
            std::vector<std::string> values(option.words.begin(), option.words.end());
            if (values.empty()) {
                values = takesValue ? std::vector<std::string>{" - ", "any, \"text\"", ""}
                                    : std::vector<std::string>{""};
            }
            for (const std::string& value : values) {
                const std::string argument = takesValue ? name + "=" + value : name;
                const CommandLine line = ParseCommandLine({"-f", format->name, argument});
                EXPECT_EQ(line.error, "") << argument;
                ASSERT_NE(line.format.options.Given(option.name), nullptr) << argument;
                EXPECT_EQ(*line.format.options.Given(option.name), value);
            }
            if (!option.words.empty() || !takesValue) {
                EXPECT_NE(ParseCommandLine({"-f", format->name, name + "=nonsense"}).error, "")
                    << name;
            }
            for (const Format* other : Formats()) {
                if (other == format) {
                    continue;
                }
                const std::string argument = takesValue ? name + "=" + values.front() : name;
                const std::string error = ParseCommandLine({argument, "-f", other->name}).error;
                EXPECT_NE(error.find(name), std::string::npos) << error;
                EXPECT_NE(error.find(std::string("with --format=") + format->name),
                          std::string::npos)
                    << error;
            }
        }
    }
}

}  // namespace
