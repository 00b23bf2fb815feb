#include "LayoutVariants.hpp"

#include <string>

const Variant kPublished{"Published", LeaderLayout::Standard, Endianness::Little, 0, 0};

const std::vector<Variant>& LayoutVariants() {
    constexpr auto kLittle = Endianness::Little;
    constexpr auto kBig = Endianness::Big;
    static const std::vector<Variant> variants = {
        {"Shift1", LeaderLayout::Standard, kLittle, 1, 0},
        {"Shift3WithFlags", LeaderLayout::Standard, kLittle, 3, (1024 | 512) >> 3},
        {"Shift9", LeaderLayout::Standard, kLittle, 9, 0},
        {"Shift11", LeaderLayout::Standard, kLittle, 11, 0},
        {"Ffi", LeaderLayout::Ffi, kLittle, 0, 0},
        {"FfiShift3", LeaderLayout::Ffi, kLittle, 3, 0},
        {"FfiAlignedShift3", LeaderLayout::FfiAligned, kLittle, 3, 0},
        {"BigEndian", LeaderLayout::Standard, kBig, 0, 0},
        {"BigEndianMixedLeaders", LeaderLayout::Aligned, kBig, 0, 0},
        {"BigEndianFfiShift3", LeaderLayout::Ffi, kBig, 3, 0},
        {"BigEndianFfiAligned", LeaderLayout::FfiAligned, kBig, 2, 0},
    };
    return variants;
}

DatabaseWriter History(const Variant& variant) {
    DatabaseWriter db;
    db.SetByteOrder(variant.order);
    db.SetPointerShift(variant.shift);
    db.SetPointerFlags(variant.flags);
    for (int i = 1; i <= 140; ++i) {  // two cross-reference blocks
        FixtureRecord record;
        record.status = static_cast<std::int16_t>(i % 3 == 0);
        record.locked = i % 7 == 0;
        for (int f = 0; f < i % 23; ++f) {
            const auto tag = static_cast<std::int16_t>(f % 5 == 4 ? -f : 10 * f + 1);
            record.fields.push_back(
                {tag, std::string(static_cast<std::size_t>((i * 7 + f) % 300), 'a' + f)});
        }
        const bool alternate = variant.layout == LeaderLayout::Aligned && i % 2 == 0;
        db.SetLeaderLayout(alternate ? LeaderLayout::Standard : variant.layout);
        db.Add(record);
    }
    db.Update(3, {{{3, "updated"}, {4, std::string("zero\0byte", 9)}}, 0, true});
    db.Delete(5);
    db.AddUnwritten();
    return db;
}
