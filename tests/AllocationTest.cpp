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

#include "DatabaseWriter.hpp"
#include "ExportCheck.hpp"
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

// The most the export held at once, beyond what was held before it began.
std::size_t PeakBytesOfExport(const DatabaseWriter& db) {
    TempDir dir;
    db.WriteTo(dir.path());
    CommandLine line;
    line.database = (dir.path() / "ths.mst").string();
    line.settings.output = (dir.path() / "formatirani_izlaz.txt").string();
    std::FILE* messages = std::fopen((dir.path() / "messages").string().c_str(), "w+b");
    EXPECT_NE(messages, nullptr);
    const std::size_t before = heldBytes;
    peakBytes = before;
    ExportDatabase(line, messages);
    const std::size_t peak = peakBytes - before;
    std::fclose(messages);
    return peak;
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

// An allocation that fails while a record is read leaves that record out,
// with a message that says why, and the run goes on.
TEST(AllocationTest, MemoryThatRunsOutWhileARecordIsReadIsAMessage) {
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::Ffi);
    db.Add({{{1, "first"}}});
    // The fields of 32,767 entries take a block of 640 KiB at the least (1
    // MiB on 64-bit systems), more than any buffer of the export (576 KiB at
    // the most), and more than this test lets be allocated.
    FixtureRecord many;
    many.fields.assign(32767, Field{7, "v"});
    db.Add(many);
    db.Add({{{3, "third"}}});
    const DatabaseFiles files{db.MasterBytes(), db.CrossRefBytes()};
    const TempDir dir;
    failingSize = 600 * 1024;
    const auto exported = ExportInProcess(files, dir.path());
    failingSize = SIZE_MAX;
    ASSERT_TRUE(exported.has_value());
    EXPECT_EQ(exported->status, 1);
    EXPECT_EQ(exported->messages, "mstexport: " + NamesIn(dir.path()).master +
                                      ": MFN 2: the memory ran out while the record was read; "
                                      "exported without fields\n");
    EXPECT_EQ(exported->output,
              "[RECORD 1]\n<1>first</1>\n\n\n[RECORD 2]\n\n\n[RECORD 3]\n<3>third</3>\n\n\n");
}

}  // namespace
