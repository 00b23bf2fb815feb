// What a damaged or extreme record can make the export hold in memory. Its
// own program, because it tracks every operator new through a replacement.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "DatabaseWriter.hpp"
#include "TempDir.hpp"
#include "cli/ExportCommand.hpp"

namespace {
// Each block carries its size in front, so that the bytes held can be counted
// down again when it is freed.
constexpr std::size_t kHeader = alignof(std::max_align_t);
std::atomic<std::size_t> heldBytes{0};
std::atomic<std::size_t> peakBytes{0};
// Allocations of this many bytes or more fail, as when the memory runs out.
std::atomic<std::size_t> failingSize{SIZE_MAX};
}  // namespace

void* operator new(std::size_t size) {
    if (size >= failingSize) {
        throw std::bad_alloc();
    }
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    *reinterpret_cast<std::size_t*>(block) = size;
    const std::size_t held = heldBytes += size;
    std::size_t peak = peakBytes;
    while (held > peak && !peakBytes.compare_exchange_weak(peak, held)) {
    }
    return block + kHeader;
}
// GCC takes free() in a replacement operator delete for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* memory) noexcept {
    if (memory != nullptr) {
        auto* block = static_cast<unsigned char*>(memory) - kHeader;
        heldBytes -= *reinterpret_cast<std::size_t*>(block);
        std::free(block);
    }
}
void operator delete(void* memory, std::size_t) noexcept {
    ::operator delete(memory);
}

namespace {

// What one export did, in-process.
struct Exported {
    std::size_t peakBytes = 0;  // the most it held at once, beyond what was held before
    int status = -1;
    std::string messages;
    std::string output;
};

// Exports `db` as `line` says (whose database and output are set here),
// keeping its output when `keepOutput`.
Exported ExportOf(const DatabaseWriter& db, CommandLine line = {}, bool keepOutput = false) {
    TempDir dir;
    db.WriteTo(dir.path());
    line.database = (dir.path() / "ths.mst").string();
    line.settings.output = (dir.path() / "formatirani_izlaz.txt").string();
    std::FILE* messages = std::fopen((dir.path() / "messages").string().c_str(), "w+b");
    EXPECT_NE(messages, nullptr);
    Exported exported;
    const std::size_t before = heldBytes;
    peakBytes = before;
    exported.status = ExportDatabase(line, messages);
    exported.peakBytes = peakBytes - before;
    std::rewind(messages);
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, messages)) > 0;) {
        exported.messages.append(chunk, got);
    }
    std::fclose(messages);
    if (keepOutput) {
        exported.output = ReadFile(line.settings.output);
    }
    return exported;
}

std::size_t PeakBytesOfExport(const DatabaseWriter& db) {
    return ExportOf(db).peakBytes;
}

// A database of one record of `bytes` between two sound ones.
DatabaseWriter AroundRecord(const std::string& bytes) {
    DatabaseWriter db;
    db.Add({{{1, "first"}}});
    db.AddRaw(bytes);
    db.Add({{{2, "last"}}});
    return db;
}

// Whatever a record's leader and directory claim, the export holds no more
// than it does for a sound record of the largest size, 32,767 bytes: the
// claims are checked against the file and the data area before anything is
// sized by them, and a record's text is written out as it is made.
TEST(AllocationTest, ClaimsCostNoMoreThanASoundRecordOfTheLargestSize) {
    const std::int32_t most = 5458;  // entries in a 32,767-byte record
    std::vector<RawEntry> hugeLengths(static_cast<std::size_t>(most), RawEntry{10, 0, 32767});
    std::vector<RawEntry> overlapping(2729, RawEntry{10, 0, 16374});
    struct Claim {
        const char* what;
        std::string record;
    };
    const Claim claims[] = {
        // Leaders whose claims reach past the end of the file.
        {"32,767 entries, inconsistent", RawRecord(32767, 32767, 32767, {}, std::string(24, 'd'))},
        {"5,458 entries", RawRecord(32767, 18 + 6 * most, most, {}, std::string(24, 'd'))},
        {"a 32,749-byte data area", RawRecord(32767, 18, 0, {}, std::string(24, 'd'))},
        {"every number at its limit", RawRecord(-1, 18 + 6 * 32767, 32767, {}, "")},
        // Inside the file: entries whose LEN runs far past a 1-byte data area.
        {"5,458 entries of LEN 32,767",
         RawRecord(32767, 18 + 6 * most, most, hugeLengths, std::string(1, 'd'))},
        // Inside the file and sound: 2,729 overlapping values write 44.7 MB.
        {"2,729 overlapping values",
         RawRecord(32766, 18 + 6 * 2729, 2729, overlapping, std::string(16374, 'v'))},
    };
    // The sound records of the largest size: one long value, or as many
    // fields as fit.
    FixtureRecord longValue;
    longValue.fields.push_back({3, std::string(32767 - 18 - 6, 'x')});
    FixtureRecord manyFields;
    manyFields.fields.assign(static_cast<std::size_t>(most), Field{10, ""});
    const std::size_t soundBytes =
        std::max(PeakBytesOfExport(AroundRecord(DatabaseWriter::EncodeRecord(longValue, 2))),
                 PeakBytesOfExport(AroundRecord(DatabaseWriter::EncodeRecord(manyFields, 2))));
    for (const Claim& claim : claims) {
        // The messages about the record are all the extra a claim may cost.
        EXPECT_LT(PeakBytesOfExport(AroundRecord(claim.record)), soundBytes + 64 * 1024)
            << claim.what;
    }
}

// A value far longer than any buffer of the export is read and written a
// piece at a time, in every format and code page: what the export holds does
// not grow with it.
TEST(AllocationTest, LongValuesCostNoMoreThanShortOnes) {
    struct Way {
        const char* format;
        const char* charset;
    };
    const Way ways[] = {{"tagged", nullptr},
                        {"tagged", "cp850"},
                        {"jsonl", nullptr},
                        {"jsonl", "utf-8"},
                        {"iso2709", "cp850"}};
    auto withValueOf = [](std::size_t bytes) {
        std::string value;
        for (std::size_t i = 0; value.size() < bytes; ++i) {
            value += i % 7 == 0 ? "\xC3\xA9\x01" : "abc\x94";
        }
        DatabaseWriter db;
        db.SetLeaderLayout(LeaderLayout::Ffi);
        db.Add({{{1, "first"}}});
        db.Add({{{2, value}, {3, "after"}}});
        return db;
    };
    const DatabaseWriter shorter = withValueOf(std::size_t{4} << 20);
    const DatabaseWriter longer = withValueOf(std::size_t{16} << 20);
    for (const Way& way : ways) {
        CommandLine line;
        line.format.format = FindFormat(way.format);
        line.settings.charset = way.charset != nullptr ? Charset::Find(way.charset) : nullptr;
        const std::size_t held = ExportOf(longer, line).peakBytes;
        EXPECT_LE(held, ExportOf(shorter, line).peakBytes + 64 * 1024)
            << (way.charset != nullptr ? way.charset : "as stored");
        EXPECT_LT(held, std::size_t{4} << 20)
            << (way.charset != nullptr ? way.charset : "as stored");
    }
}

// An allocation that fails while a record is read leaves that record out,
// with a message that says why, and the run goes on.
TEST(AllocationTest, MemoryThatRunsOutWhileARecordIsReadIsAMessage) {
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::Ffi);
    db.Add({{{1, "first"}}});
    // The fields of 32,767 entries take a block of 1 MiB, more than any
    // buffer of the export, and more than this test lets be allocated.
    FixtureRecord many;
    many.fields.assign(32767, Field{7, "v"});
    db.Add(many);
    db.Add({{{3, "third"}}});
    failingSize = 768 * 1024;
    const Exported exported = ExportOf(db, {}, true);
    failingSize = SIZE_MAX;
    EXPECT_EQ(exported.status, 1);
    const std::string said = exported.messages;
    EXPECT_NE(said.find(": MFN 2: the memory ran out while the record was read; exported without "
                        "fields\n"),
              std::string::npos)
        << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(exported.output,
              "[RECORD 1]\n<1>first</1>\n\n\n[RECORD 2]\n\n\n[RECORD 3]\n<3>third</3>\n\n\n");
}

}  // namespace
