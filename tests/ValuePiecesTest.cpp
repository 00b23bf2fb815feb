// Values that lie in the file, read a piece at a time, give exactly what the
// same values held in memory give: the reader's fields and problems, and each
// format's bytes and messages in every code page, whatever the pieces' size.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DatabaseWriter.hpp"
#include "ListSource.hpp"
#include "OpenDatabase.hpp"
#include "TempDir.hpp"
#include "export/Format.hpp"
#include "export/ValuePieces.hpp"

namespace {

// Records of every kind, FFI, some larger than a small buffer.
DatabaseWriter MixedDatabase() {
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::FfiAligned);
    db.Add({{{24, "Soil moisture"}, {70, std::string(700, 'a')}, {70, "Franco"}}});
    db.Add({});
    db.Add({{{-5, std::string("zero\0byte", 9)}, {32767, std::string(900, 'z') + '\0' + "tail"}}});
    db.Add({{{5, std::string(1500, 'l')}}, 0, true});  // locked
    // Overlapping values, and entries outside the data area.
    db.AddRaw(RawRecord(
        24 + 12 * 4 + 600, 24 + 12 * 4, 4, {{1, 0, 600}, {2, 100, 500}, {3, 590, 20}, {4, -1, 3}},
        std::string(300, 'x') + std::string(300, 'y'), 5, 0, LeaderLayout::FfiAligned));
    db.Add({{{9, "last"}}});
    return db;
}

// The reader over a buffer of 256 bytes reads most of these records with
// their values left in the file: their text and problems are those of the
// reader over the usual buffer, which holds them.
TEST(ValuesInFile, ReaderGivesWhatItGivesForRecordsItHolds) {
    const DatabaseWriter db = MixedDatabase();
    OpenDatabase held(db);
    OpenDatabase pieces(db, 256);
    for (std::int32_t mfn = 1; mfn <= db.LastMfn(); ++mfn) {
        std::vector<RecordProblem> heldProblems;
        std::vector<RecordProblem> pieceProblems;
        EXPECT_EQ(pieces.reader.RecordText(mfn, &pieceProblems),
                  held.reader.RecordText(mfn, &heldProblems))
            << "MFN " << mfn;
        ASSERT_EQ(pieceProblems.size(), heldProblems.size()) << "MFN " << mfn;
        for (std::size_t i = 0; i < heldProblems.size(); ++i) {
            EXPECT_EQ(pieceProblems[i].kind, heldProblems[i].kind);
            EXPECT_EQ(pieceProblems[i].tag, heldProblems[i].tag);
        }
        RecordFields record;
        ASSERT_TRUE(pieces.reader.ReadRecord(mfn, record));
        if (mfn == 1 || mfn == 3 || mfn == 4) {
            EXPECT_NE(record.valueReader, nullptr) << "MFN " << mfn << " was held whole";
        }
    }
}

// Serves the pieces of values from a string, each copied into a block of
// its own with exactly kViewSlack bytes of other text after it;
// a piece that takes a byte from `failFrom` up to `failTo` cannot be read.
class StringValues : public ValueReader {
  public:
    StringValues(std::string bytes, std::size_t largest, std::int64_t failFrom = 0,
                 std::int64_t failTo = 0)
        : bytes_(std::move(bytes)), largest_(largest), failFrom_(failFrom), failTo_(failTo) {}
    std::size_t LargestPiece() const override { return largest_; }
    const unsigned char* Piece(std::int64_t position, std::size_t count) override {
        EXPECT_LE(count, largest_);
        if (position < failTo_ && position + static_cast<std::int64_t>(count) > failFrom_) {
            return nullptr;
        }
        piece_.reset(new unsigned char[count + kViewSlack]);
        std::memcpy(piece_.get(), bytes_.data() + position, count);
        std::memset(piece_.get() + count, 'Z', kViewSlack);
        return piece_.get();
    }

  private:
    std::string bytes_;
    std::size_t largest_;
    std::int64_t failFrom_;
    std::int64_t failTo_;
    std::unique_ptr<unsigned char[]> piece_;
};

struct Written {
    std::string output;
    std::string messages;
};

// Writes `record` in the format `name`, in the code page `charset` (or as
// stored).
Written Write(const RecordFields& record, const char* name, const Charset* charset) {
    TempDir dir;
    const std::string outputName = (dir.path() / "out").string();
    std::FILE* stream = std::tmpfile();
    Written written;
    {
        OutputFile output;
        std::string reason;
        EXPECT_TRUE(output.Open(outputName, reason)) << reason;
        const ListSource source("ths.mst", {});  // the context keeps a reference to its name
        Messages messages(stream, source.Name());
        FormatContext context(output, messages, source.Name());
        context.charset = charset;
        FindFormat(name)->make({})->Append(record, context);
        messages.Finish(source);
        EXPECT_TRUE(output.Close());
    }
    written.output = ReadFile(outputName);
    std::rewind(stream);
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, stream)) > 0;) {
        written.messages.append(chunk, got);
    }
    std::fclose(stream);
    return written;
}

struct Value {
    std::int32_t tag;
    std::string bytes;
};

std::string Repeated(const std::string& part, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) {
        text += part;
    }
    return text;
}

// Values with UTF-8 sequences of every length, bytes that are not UTF-8 or
// that a code page leaves undefined, what JSON escapes, and values too long
// for ISO 2709 as stored, or only once converted.
std::vector<Value> Values() {
    return {
        {1, ""},
        {24, "plain ascii value"},
        {26, "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xC3\xA9\xC3\xA9 end"},
        {30, "bad \xFF\xFE bytes \xF0\x9F trail \xC3"},
        {44, "quote \" backslash \\ tab \t line \n control \x01\x1F\x7F"},
        {-7, "Hollerw\x94ger \x81\x8D\x90\xA0\xFE"},
        {1000, Repeated("\xE2\x82\xAC", 1000)},
        {50, Repeated("\xC3\xA9", 2500)},  // 5,000 bytes, 12,500 in cp850
        {60, Repeated("abcdefghij", 1200)},
    };
}

// The record of `values`, in memory or, with `reader`, in the file it reads.
RecordFields RecordOf(const std::vector<Value>& values, const std::string& memory,
                      ValueReader* reader) {
    RecordFields record;
    record.mfn = 7;
    record.state = RecordFields::State::Stored;
    record.valueReader = reader;
    std::size_t at = 0;
    for (const Value& value : values) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(memory.data()) + at;
        record.fields.push_back({value.tag, reader != nullptr ? nullptr : bytes, value.bytes.size(),
                                 static_cast<std::int64_t>(at)});
        record.valueBytes += reader != nullptr ? 0 : value.bytes.size();
        at += value.bytes.size();
    }
    return record;
}

const char* const kFormatNames[] = {"tagged", "jsonl", "iso2709"};

TEST(ValuesInFile, FormatsWritePiecesAsTheyWriteWholeValues) {
    const std::vector<Value> values = Values();
    std::string file;
    for (const Value& value : values) {
        file += value.bytes;
    }
    // Held in memory, with slack after the last value.
    const std::string memory = file + std::string(kViewSlack, 'Z');
    const RecordFields held = RecordOf(values, memory, nullptr);
    for (const std::size_t largest : {4, 5, 6, 7, 13, 64, 4096}) {
        StringValues reader(file, largest);
        const RecordFields inFile = RecordOf(values, memory, &reader);
        for (std::size_t f = 0; f < 3; ++f) {
            for (const char* name : {"", "cp850", "cp1252", "utf-8"}) {
                const Charset* charset = *name != '\0' ? Charset::Find(name) : nullptr;
                const Written whole = Write(held, kFormatNames[f], charset);
                const Written pieces = Write(inFile, kFormatNames[f], charset);
                const std::string which = std::string(kFormatNames[f]) + " " + name +
                                          ", pieces of " + std::to_string(largest);
                EXPECT_TRUE(pieces.output == whole.output) << which;
                EXPECT_EQ(pieces.messages, whole.messages) << which;
            }
        }
    }
}

// A piece that cannot be read cuts the value short, with a message; ISO 2709,
// whose directory must give the value's length, leaves the record out.
TEST(ValuesInFile, PieceThatCannotBeRead) {
    const std::vector<Value> values = {{3, "0123456789abcdefghij"}, {4, "after"}};
    const std::string file = values[0].bytes + values[1].bytes;
    StringValues reader(file, 8, 8, 16);  // the second piece of the first value fails
    const RecordFields record = RecordOf(values, file, &reader);
    const std::string said =
        "mstexport: ths.mst: MFN 7: field with tag 3 could not be read to its end (a read error)";
    Written written = Write(record, "tagged", nullptr);
    EXPECT_EQ(written.output, "[RECORD 7]\n<3>01234567</3>\n<4>after</4>\n\n\n");
    EXPECT_EQ(written.messages, said + "; written cut short\n");
    written = Write(record, "jsonl", nullptr);
    EXPECT_EQ(written.output,
              "{\"mfn\":7,\"fields\":[{\"tag\":3,\"value\":\"01234567\"},"
              "{\"tag\":4,\"value\":\"after\"}]}\n");
    EXPECT_EQ(written.messages, said + "; written cut short\n");
    written = Write(record, "iso2709", nullptr);
    EXPECT_EQ(written.output, "");
    EXPECT_EQ(written.messages, said + "; record left out\n");
}

TEST(ValuesInFile, PiecesNeverEndInsideAUtf8Sequence) {
    struct Case {
        const char* bytes;
        std::size_t count;
        std::size_t end;
    };
    const Case cases[] = {
        {"abcd", 4, 4},              // ASCII
        {"ab\xC3\xA9", 4, 2},        // a whole sequence: back to its lead, harmless
        {"abc\xC3", 4, 3},           // a lead at the end
        {"a\xE2\x82\xAC", 4, 1},     // three bytes back
        {"\xF0\x9F\x98\x80", 4, 4},  // a 4-byte sequence: no lead among the last three
        {"ab\x80\x80", 4, 4},        // stray continuation bytes
        {"a\xFF\x80\x80", 4, 1},     // a byte that is no lead still moves the end
        {"abcdef\xF0\x9F\x98", 9, 6},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(
            pieces::CutBeforeSequence(reinterpret_cast<const unsigned char*>(c.bytes), c.count),
            c.end)
            << c.bytes;
    }
}

}  // namespace
