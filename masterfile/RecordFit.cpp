#include "RecordFit.hpp"

namespace {

using namespace layout;

template <ByteOrder order>
bool RecordFitsIn(InputFile& master, std::int32_t mfn, std::int64_t start,
                  const LeaderShape& leaderShape, const EntryShape& entryShape) {
    if (start < 0 || start + leaderShape.size > master.Size()) {
        return false;
    }
    const unsigned char* bytes = master.View(start, static_cast<std::size_t>(leaderShape.size));
    if (bytes == nullptr) {
        return false;
    }
    const WideLeader leader = DecodeLeader<order>(bytes, leaderShape);
    if (leader.MFN != mfn || !LeaderIsConsistent(leader, leaderShape, entryShape.size) ||
        start + RecordLength(leader.MFRL) > master.Size()) {
        return false;
    }
    // The leader and the directory, which end where the data area begins.
    const unsigned char* record = master.ViewWhole(start, static_cast<std::size_t>(leader.BASE));
    if (record == nullptr) {
        return false;
    }
    const std::int64_t dataLength = RecordLength(leader.MFRL) - leader.BASE;
    for (std::int32_t i = 0; i < leader.NVF; ++i) {
        const unsigned char* entry = record + leaderShape.size + entryShape.size * i;
        if (!EntryInsideData(DecodeEntry<order>(entry, entryShape), dataLength)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool RecordFits(InputFile& master, std::int32_t mfn, std::int64_t start, const LeaderShape& leader,
                const EntryShape& entry, ByteOrder order) {
    return order == ByteOrder::Little
               ? RecordFitsIn<ByteOrder::Little>(master, mfn, start, leader, entry)
               : RecordFitsIn<ByteOrder::Big>(master, mfn, start, leader, entry);
}
