#include "RecordFit.hpp"

#include <algorithm>

#include "DirectoryEntries.hpp"

namespace {

using namespace layout;

template <ByteOrder order>
Fit FitIn(InputFile& master, std::int32_t mfn, std::int64_t start, const LeaderShape& leaderShape,
          const EntryShape& entryShape) {
    if (start < 0 || start + leaderShape.size > master.Size()) {
        return Fit::None;
    }
    const unsigned char* bytes = master.View(start, static_cast<std::size_t>(leaderShape.size));
    if (bytes == nullptr) {
        return Fit::None;
    }
    const WideLeader leader = DecodeLeader<order>(bytes, leaderShape);
    if (leader.MFN != mfn || !LeaderIsConsistent(leader, leaderShape, entryShape.size)) {
        return Fit::None;
    }
    if (start + RecordLength(leader.MFRL) > master.Size()) {
        return Fit::Cut;
    }
    const std::int64_t dataLength = RecordLength(leader.MFRL) - leader.BASE;
    bool inside = true;
    const bool read = ForEachEntry<order>(master, start + leaderShape.size, leader.NVF, entryShape,
                                          [&](const WideEntry& entry) {
                                              inside = EntryInsideData(entry, dataLength);
                                              return inside;
                                          });
    return read && inside ? Fit::Whole : Fit::None;
}

template <ByteOrder order>
bool FillsIn(InputFile& master, std::int64_t start, const WideLeader& leader,
             const LeaderShape& leaderShape, const EntryShape& entryShape) {
    const std::int64_t dataLength = RecordLength(leader.MFRL) - leader.BASE;
    std::int64_t furthest = 0;
    const bool read = ForEachEntry<order>(
        master, start + leaderShape.size, leader.NVF, entryShape, [&](const WideEntry& entry) {
            if (EntryInsideData(entry, dataLength)) {
                furthest = std::max(furthest, static_cast<std::int64_t>(entry.POS) + entry.LEN);
            }
            return true;
        });
    return read && dataLength - furthest <= kMostPadding;
}

}  // namespace

Fit FitOf(InputFile& master, std::int32_t mfn, std::int64_t start, const LeaderShape& leader,
          const EntryShape& entry, ByteOrder order) {
    return order == ByteOrder::Little ? FitIn<ByteOrder::Little>(master, mfn, start, leader, entry)
                                      : FitIn<ByteOrder::Big>(master, mfn, start, leader, entry);
}

bool ValuesFillDataArea(InputFile& master, std::int64_t start, const WideLeader& read,
                        const LeaderShape& shape, const EntryShape& entry, ByteOrder order) {
    return order == ByteOrder::Little
               ? FillsIn<ByteOrder::Little>(master, start, read, shape, entry)
               : FillsIn<ByteOrder::Big>(master, start, read, shape, entry);
}
