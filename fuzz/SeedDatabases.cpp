#include "SeedDatabases.hpp"

#include <limits>

std::vector<std::pair<std::string, DatabaseWriter>> SeedDatabases() {
    std::vector<std::pair<std::string, DatabaseWriter>> seeds;

    seeds.emplace_back("empty", DatabaseWriter());

    DatabaseWriter small;
    small.Add({{{24, "Soil moisture"}, {70, "Slatyer, R.O."}, {70, "Franco, C.M."}}});
    small.Add({});
    small.Add({{{-5, "negative tag"}, {32767, std::string("zero\0byte", 9)}, {0, "a\nb"}}});
    seeds.emplace_back("small", small);

    DatabaseWriter history;
    history.SetPointerFlags(512 | 1024);
    history.Add({{{1, "first"}}});
    history.AddUnwritten();
    const auto deleted = history.Add({{{2, "deleted"}}});
    history.Delete(deleted);
    history.Add({{{3, "old"}}, 1});
    history.Update(4, {{{3, "new"}, {4, "version"}}});
    seeds.emplace_back("history", history);

    DatabaseWriter longRecord;  // values that cross master file blocks
    longRecord.Add({{{10, std::string(700, 'x')}, {11, "after"}}});
    longRecord.Add({{{12, std::string(300, 'y')}}});
    seeds.emplace_back("long-record", longRecord);

    DatabaseWriter multiBlock;  // two cross-reference blocks, several master blocks
    for (int i = 1; i <= 130; ++i) {
        multiBlock.Add({{{static_cast<std::int16_t>(i), std::to_string(i)}}});
    }
    seeds.emplace_back("multi-block", multiBlock);

    DatabaseWriter damaged;
    damaged.Add({{{1, "good"}}});
    damaged.AddRaw(RawRecord(40, 30, 1, {{2, 0, 5}}, "abcdefghijklmnopqrstuv"));
    damaged.AddRaw(RawRecord(18 + 18 + 4, 18 + 18, 3, {{7, 0, 2}, {-77, 3, 2}, {9, 2, 2}}, "abcd"));
    damaged.Add({{{3, "good too"}}});
    damaged.AddRaw(RawRecord(18 + 6 + 100, 18 + 6, 1, {{8, 0, 100}}, "cut short"));
    seeds.emplace_back("damaged", damaged);

    DatabaseWriter aligned;  // 20-byte leaders, as some 32-bit writers store them
    aligned.SetLeaderLayout(LeaderLayout::Aligned);
    aligned.Add({{{24, "Soil moisture"}, {70, "Slatyer, R.O."}}});
    aligned.Add({});
    aligned.Add({{{-5, "negative tag"}, {10, std::string(600, 'z')}}});
    seeds.emplace_back("aligned", aligned);

    DatabaseWriter mixedLayouts;  // each record's own leader decides its layout
    for (int i = 1; i <= 12; ++i) {
        mixedLayouts.SetLeaderLayout(i % 2 == 0 ? LeaderLayout::Aligned : LeaderLayout::Standard);
        FixtureRecord record;
        for (int f = 0; f < i; ++f) {
            record.fields.push_back({static_cast<std::int16_t>(f * 10), std::to_string(i * f)});
        }
        mixedLayouts.Add(record);
    }
    seeds.emplace_back("mixed-layouts", mixedLayouts);

    DatabaseWriter ffi;  // as the FFI build writes it on a 32-bit machine
    ffi.SetLeaderLayout(LeaderLayout::FfiAligned);
    ffi.SetPointerShift(3);
    ffi.Add({{{24, "Soil moisture"}, {70, "Slatyer, R.O."}}});
    ffi.Add({{{10, std::string(33000, 'f')}, {11, "after a value past 16 bits"}}});
    ffi.Add({{{-5, "locked"}}, 0, true});
    ffi.Add({});
    seeds.emplace_back("ffi-aligned", ffi);

    DatabaseWriter bigEndian;  // from a big-endian machine, with both standard leaders
    bigEndian.SetByteOrder(Endianness::Big);
    for (int i = 1; i <= 6; ++i) {
        bigEndian.SetLeaderLayout(i % 2 == 0 ? LeaderLayout::Aligned : LeaderLayout::Standard);
        bigEndian.Add({{{static_cast<std::int16_t>(i), std::to_string(i)}, {300, "x"}}});
    }
    bigEndian.Delete(2);
    seeds.emplace_back("big-endian", bigEndian);

    DatabaseWriter bigEndianFfi;
    bigEndianFfi.SetByteOrder(Endianness::Big);
    bigEndianFfi.SetLeaderLayout(LeaderLayout::Ffi);
    bigEndianFfi.SetPointerShift(2);
    bigEndianFfi.Add({{{1, "one"}, {2, "two"}}});
    bigEndianFfi.Add({{{3, "three"}}, 1, true});
    bigEndianFfi.Update(1, {{{4, "four"}}});
    seeds.emplace_back("big-endian-ffi", bigEndianFfi);

    DatabaseWriter claimsMore;
    claimsMore.Add({{{1, "one"}}});
    claimsMore.SetNextMfn(std::numeric_limits<std::int32_t>::max());
    seeds.emplace_back("claims-more", claimsMore);

    return seeds;
}
