// The on-disk layouts of a CDS/ISIS master file and its cross-reference file,
// and the arithmetic that finds a record through the cross-reference file.
//
// Integers on disk are little-endian two's complement. They are decoded here,
// byte by byte, so the program reads the same values on any host byte order.
#pragma once

#include <cstdint>
#include <optional>

namespace layout {

constexpr std::int64_t kBlockSize = 512;
constexpr std::int32_t kControlRecordSize = 16;
constexpr std::int32_t kLeaderSize = 18;
// Some 32-bit writers put two pad bytes after MFRL, aligning MFBWB.
constexpr std::int32_t kAlignedLeaderSize = 20;
constexpr std::int32_t kDirectoryEntrySize = 6;
constexpr std::int32_t kPointerSize = 4;
// Every cross-reference block starts with its own 4-byte XRFPOS, so a block
// holds 127 record pointers, not 128.
constexpr std::int64_t kPointersPerBlock = 127;

inline std::int16_t DecodeInt16(const unsigned char* bytes) {
    const auto raw = static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
    return static_cast<std::int16_t>(raw);
}

inline std::uint32_t DecodeUint32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

inline std::int32_t DecodeInt32(const unsigned char* bytes) {
    return static_cast<std::int32_t>(DecodeUint32(bytes));
}

// Byte position of the pointer of `mfn` (mfn >= 1) in the cross-reference file.
// Computed in 64 bits: for very large MFNs it exceeds 2^31 - 1.
constexpr std::int64_t PointerPosition(std::int32_t mfn) {
    const std::int64_t index = static_cast<std::int64_t>(mfn) - 1;
    return kBlockSize * (index / kPointersPerBlock) + kPointerSize +
           kPointerSize * (index % kPointersPerBlock);
}

// How many MFNs, counted from 1, have their pointer wholly inside a
// cross-reference file of `fileSize` bytes.
constexpr std::int64_t PointerSlotCount(std::int64_t fileSize) {
    if (fileSize <= 0) {
        return 0;
    }
    const std::int64_t rest = fileSize % kBlockSize;
    const std::int64_t slotsInLastBlock = rest >= kPointerSize ? (rest - kPointerSize) / 4 : 0;
    return kPointersPerBlock * (fileSize / kBlockSize) + slotsInLastBlock;
}

// What a cross-reference pointer says of its MFN.
enum class PointerKind {
    Record,        // the record starts at `position`
    NeverWritten,  // 0: the MFN was taken but no record written
    Deleted,       // bit 31 set: the record was deleted
    NoBlock,       // neither 0 nor deleted, yet block number 0: damage
};

struct PointerTarget {
    PointerKind kind;
    std::int64_t position;  // for PointerKind::Record
};

// Bits 11 to 30 are the master file block, counted from 1, and bits 0 to 8
// the offset in it; bits 9 and 10 carry no position.
constexpr PointerTarget DecodePointer(std::uint32_t pointer) {
    if (pointer == 0) {
        return {PointerKind::NeverWritten, 0};
    }
    if ((pointer & 0x80000000u) != 0) {
        return {PointerKind::Deleted, 0};
    }
    const std::uint32_t block = pointer >> 11;
    if (block == 0) {
        return {PointerKind::NoBlock, 0};
    }
    return {PointerKind::Record,
            (static_cast<std::int64_t>(block) - 1) * kBlockSize + (pointer & 0x1FFu)};
}

// The master file byte at which the record of a pointer begins, or nothing for
// a pointer that locates no record.
constexpr std::optional<std::int64_t> RecordPosition(std::uint32_t pointer) {
    const PointerTarget target = DecodePointer(pointer);
    if (target.kind != PointerKind::Record) {
        return std::nullopt;
    }
    return target.position;
}

}  // namespace layout

// The first 16 bytes of the master file.
struct ControlRecord {
    std::int32_t CTLMFN = 0;
    std::int32_t NXTMFN = 0;
    std::int32_t NXTMFB = 0;
    std::int16_t NXTMFP = 0;
    std::int16_t MFTYPE = 0;
};

// A record's leader, field for field as stored.
struct RecordLeader {
    std::int32_t MFN = 0;
    std::int16_t MFRL = 0;
    std::int32_t MFBWB = 0;
    std::int16_t MFBWP = 0;
    std::int16_t BASE = 0;
    std::int16_t NVF = 0;
    std::int16_t STATUS = 0;
};

// One directory entry: where a field's value lies in the record's data area.
struct DirectoryEntry {
    std::int16_t TAG = 0;
    std::int16_t POS = 0;
    std::int16_t LEN = 0;
};

namespace layout {

// The leader as stored in `leaderSize` bytes: kLeaderSize, or
// kAlignedLeaderSize with two pad bytes after MFRL.
inline RecordLeader DecodeLeader(const unsigned char* bytes,
                                 std::int32_t leaderSize = kLeaderSize) {
    const unsigned char* afterPad = bytes + (leaderSize - kLeaderSize);
    RecordLeader leader;
    leader.MFN = DecodeInt32(bytes);
    leader.MFRL = DecodeInt16(bytes + 4);
    leader.MFBWB = DecodeInt32(afterPad + 6);
    leader.MFBWP = DecodeInt16(afterPad + 10);
    leader.BASE = DecodeInt16(afterPad + 12);
    leader.NVF = DecodeInt16(afterPad + 14);
    leader.STATUS = DecodeInt16(afterPad + 16);
    return leader;
}

// Whether a leader read with a leader of `leaderSize` bytes describes a
// record: the directory follows the leader, the data area the directory.
inline bool LeaderIsConsistent(const RecordLeader& leader, std::int32_t leaderSize) {
    return leader.NVF >= 0 && leader.BASE == leaderSize + kDirectoryEntrySize * leader.NVF &&
           leader.MFRL >= leader.BASE;
}

}  // namespace layout
