// The export with --encoding: values converted to UTF-8 in every format, and
// each value with a byte the code page does not define said.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DatabaseWriter.hpp"
#include "IsoReader.hpp"
#include "RunExport.hpp"
#include "SameText.hpp"
#include "TempDir.hpp"

namespace {

ExportRun Export(const DatabaseWriter& db, const std::vector<std::string>& arguments) {
    TempDir dir;
    db.WriteTo(dir.path());
    return RunExport(dir.path(), arguments);
}

TEST(EncodingExport, ValuesAreWrittenInUtf8) {
    struct Case {
        const char* encoding;
        std::string stored;
        std::string written;
    };
    const Case cases[] = {
        {"cp850", "Hollerw\x94ger", u8"Hollerwöger"},
        {"CP852",
         "op\x86"
         "a",
         u8"opća"},
        {"cp1251", "\xc1\xe8\xe1\xeb\xe8\xee\xf2\xe5\xea\xe0", u8"Библиотека"},
        {"latin1", "caf\xe9", u8"café"},
        {"utf-8", u8"already UTF-8: ž", u8"already UTF-8: ž"},
    };
    for (const Case& c : cases) {
        DatabaseWriter db;
        db.Add({{{24, c.stored}, {70, "plain ASCII"}}});
        const ExportRun run = Export(db, {"-o", "-", "--encoding", c.encoding});
        EXPECT_EQ(run.exitCode, 0) << c.encoding << ": " << run.stderrText;
        EXPECT_SAME_TEXT(run.stdoutText,
                         "[RECORD 1]\n<24>" + c.written + "</24>\n<70>plain ASCII</70>\n\n\n")
            << c.encoding;
    }
}

TEST(EncodingExport, UndefinedBytesBecomeReplacementCharacters) {
    DatabaseWriter db;
    db.Add({{{1, "fine"}}});
    db.Add({{{24, "a\x81z\x8d"}, {70, "ok"}}});
    ExportRun run = Export(db, {"-o", "-", "-e", "cp1252"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_SAME_TEXT(run.stdoutText,
                     u8"[RECORD 1]\n<1>fine</1>\n\n\n[RECORD 2]\n<24>a\uFFFDz\uFFFD</24>\n"
                     "<70>ok</70>\n\n\n");
    EXPECT_EQ(run.stderrText,
              "mstexport: ths.mst: MFN 2: field with tag 24 holds byte 0x81, which cp1252 does not "
              "define (2 such bytes); written as U+FFFD\n");

    db.Add({{{3, "bad \xc3( utf-8"}}});
    run = Export(db, {"-o", "-", "-e", "utf-8", "--from=3"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_SAME_TEXT(run.stdoutText, u8"[RECORD 3]\n<3>bad \uFFFD( utf-8</3>\n\n\n");
    EXPECT_NE(
        run.stderrText.find("MFN 3: field with tag 3 holds byte 0xC3 that is not valid UTF-8"),
        std::string::npos)
        << run.stderrText;
}

TEST(EncodingExport, IsoLengthsCountTheBytesWritten) {
    DatabaseWriter db;
    db.Add({{{24, "\x94\x81"}}});  // cp850: two bytes of UTF-8 each
    const ExportRun run = Export(db, {"-o", "-", "-f", "iso2709", "-e", "cp850"});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    const auto records = ReadIso2709(run.stdoutText);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], (std::vector<Field>{{24, u8"öü"}}));
}

}  // namespace
