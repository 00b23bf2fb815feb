// The on-disk layouts of a CDS/ISIS master file and its cross-reference file,
// and the arithmetic that finds a record through the cross-reference file.
//
// Integers on disk are two's complement, little-endian as published, or
// big-endian in files written on big-endian machines. They are decoded here,
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

enum class ByteOrder { Little, Big };

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

template <ByteOrder order>
std::int16_t Int16(const unsigned char* bytes) {
    if constexpr (order == ByteOrder::Little) {
        return DecodeInt16(bytes);
    } else {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]));
    }
}

template <ByteOrder order>
std::uint32_t Uint32(const unsigned char* bytes) {
    if constexpr (order == ByteOrder::Little) {
        return DecodeUint32(bytes);
    } else {
        return (static_cast<std::uint32_t>(bytes[0]) << 24) |
               (static_cast<std::uint32_t>(bytes[1]) << 16) |
               (static_cast<std::uint32_t>(bytes[2]) << 8) | static_cast<std::uint32_t>(bytes[3]);
    }
}

template <ByteOrder order>
std::int32_t Int32(const unsigned char* bytes) {
    return static_cast<std::int32_t>(Uint32<order>(bytes));
}

inline std::int16_t Int16(const unsigned char* bytes, ByteOrder order) {
    return order == ByteOrder::Little ? Int16<ByteOrder::Little>(bytes)
                                      : Int16<ByteOrder::Big>(bytes);
}

inline std::uint32_t Uint32(const unsigned char* bytes, ByteOrder order) {
    return order == ByteOrder::Little ? Uint32<ByteOrder::Little>(bytes)
                                      : Uint32<ByteOrder::Big>(bytes);
}

inline std::int32_t Int32(const unsigned char* bytes, ByteOrder order) {
    return static_cast<std::int32_t>(Uint32(bytes, order));
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

// The largest pointer shift that leaves a pointer a block number: 2048 >> 11 is 1.
constexpr int kLargestPointerShift = 11;

// The shift the writer applied to the record pointers, from the high byte of
// MFTYPE; it lets a master file grow past 512 MB. A high byte no pointer can
// have been written with counts as no shift.
constexpr int PointerShift(std::int16_t mftype) {
    const int shift = static_cast<std::uint16_t>(mftype) >> 8;
    return shift <= kLargestPointerShift ? shift : 0;
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

// With shift s, the pointer divided by 2048 >> s is the master file block,
// counted from 1, and its bits under 512 >> s are the offset in that block
// divided by 2^s; the two bits between carry no position. With s = 0 these
// are bits 11 to 30, bits 0 to 8, and bits 9 and 10.
constexpr PointerTarget DecodePointer(std::uint32_t pointer, int shift = 0) {
    if (pointer == 0) {
        return {PointerKind::NeverWritten, 0};
    }
    if ((pointer & 0x80000000u) != 0) {
        return {PointerKind::Deleted, 0};
    }
    const std::uint32_t block = pointer >> (11 - shift);
    if (block == 0) {
        return {PointerKind::NoBlock, 0};
    }
    const std::uint32_t offset = (pointer & (511u >> shift)) << shift;
    return {PointerKind::Record, (static_cast<std::int64_t>(block) - 1) * kBlockSize + offset};
}

// The master file byte at which the record of a pointer begins, or nothing for
// a pointer that locates no record.
constexpr std::optional<std::int64_t> RecordPosition(std::uint32_t pointer, int shift = 0) {
    const PointerTarget target = DecodePointer(pointer, shift);
    if (target.kind != PointerKind::Record) {
        return std::nullopt;
    }
    return target.position;
}

// How a database stores its records' leaders and directories.
enum class RecordFormat {
    // 16-bit MFRL, BASE, POS and LEN: an 18-byte leader, or a 20-byte one
    // with two pad bytes after MFRL, chosen record by record; 6-byte entries.
    Standard,
    // The FFI writers' 32-bit MFRL, BASE, POS and LEN: a 22-byte leader and
    // 10-byte entries.
    Ffi,
    // FFI as 32-bit builds write it: a 24-byte leader with two pad bytes
    // after MFBWP, and 12-byte entries with two pad bytes after TAG.
    FfiAligned,
};

// Where a leader's fields lie. MFN is at byte 0 and MFRL at byte 4 in all.
struct LeaderShape {
    std::int32_t size;
    bool wide;  // MFRL and BASE take 32 bits, not 16
    std::int32_t mfrlAt;
    std::int32_t mfbwbAt;
    std::int32_t mfbwpAt;
    std::int32_t baseAt;
    std::int32_t nvfAt;
    std::int32_t statusAt;
};

constexpr LeaderShape kStandardLeader{kLeaderSize, false, 4, 6, 10, 12, 14, 16};
constexpr LeaderShape kAlignedLeader{kAlignedLeaderSize, false, 4, 8, 12, 14, 16, 18};
constexpr LeaderShape kFfiLeader{22, true, 4, 8, 12, 14, 18, 20};
constexpr LeaderShape kFfiAlignedLeader{24, true, 4, 8, 12, 16, 20, 22};

// Where a directory entry's fields lie. TAG is 16 bits at byte 0 in all.
struct EntryShape {
    std::int32_t size;
    bool wide;  // POS and LEN take 32 bits, not 16
    std::int32_t tagAt;
    std::int32_t posAt;
    std::int32_t lenAt;
};

constexpr EntryShape kStandardEntry{kDirectoryEntrySize, false, 0, 2, 4};
constexpr EntryShape kFfiEntry{10, true, 0, 2, 6};
constexpr EntryShape kFfiAlignedEntry{12, true, 0, 4, 8};

constexpr const EntryShape& EntryShapeOf(RecordFormat format) {
    return format == RecordFormat::Standard ? kStandardEntry
           : format == RecordFormat::Ffi    ? kFfiEntry
                                            : kFfiAlignedEntry;
}

// The leader of an FFI format; a standard record's own bytes choose its leader.
constexpr const LeaderShape& FfiLeaderShapeOf(RecordFormat format) {
    return format == RecordFormat::Ffi ? kFfiLeader : kFfiAlignedLeader;
}

// How one database is stored, decided once for all its records.
struct DatabaseLayout {
    ByteOrder order = ByteOrder::Little;
    int pointerShift = 0;
    RecordFormat format = RecordFormat::Standard;
};

}  // namespace layout

// The first 16 bytes of the master file.
struct ControlRecord {
    std::int32_t CTLMFN = 0;
    std::int32_t NXTMFN = 0;
    std::int32_t NXTMFB = 0;
    std::int16_t NXTMFP = 0;
    std::int16_t MFTYPE = 0;
};

// A record's leader, field for field as stored in the 16-bit layouts. A
// locked record's MFRL is negative; its length is the absolute value.
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

// A leader of any layout, each field widened to 32 bits.
struct WideLeader {
    std::int32_t MFN = 0;
    std::int32_t MFRL = 0;
    std::int32_t MFBWB = 0;
    std::int32_t MFBWP = 0;
    std::int32_t BASE = 0;
    std::int32_t NVF = 0;
    std::int32_t STATUS = 0;
};

struct WideEntry {
    std::int32_t TAG;
    std::int32_t POS;
    std::int32_t LEN;
};

template <ByteOrder order>
WideLeader DecodeLeader(const unsigned char* bytes, const LeaderShape& shape) {
    WideLeader leader;
    leader.MFN = Int32<order>(bytes);
    leader.MFRL =
        shape.wide ? Int32<order>(bytes + shape.mfrlAt) : Int16<order>(bytes + shape.mfrlAt);
    leader.MFBWB = Int32<order>(bytes + shape.mfbwbAt);
    leader.MFBWP = Int16<order>(bytes + shape.mfbwpAt);
    leader.BASE =
        shape.wide ? Int32<order>(bytes + shape.baseAt) : Int16<order>(bytes + shape.baseAt);
    leader.NVF = Int16<order>(bytes + shape.nvfAt);
    leader.STATUS = Int16<order>(bytes + shape.statusAt);
    return leader;
}

template <ByteOrder order>
WideEntry DecodeEntry(const unsigned char* bytes, const EntryShape& shape) {
    return {Int16<order>(bytes + shape.tagAt),
            shape.wide ? Int32<order>(bytes + shape.posAt) : Int16<order>(bytes + shape.posAt),
            shape.wide ? Int32<order>(bytes + shape.lenAt) : Int16<order>(bytes + shape.lenAt)};
}

// A record's length in bytes. A record locked for editing when the files were
// copied has a negative MFRL; the absolute value is taken in 64 bits, where
// it cannot overflow.
constexpr std::int64_t RecordLength(std::int32_t mfrl) {
    return mfrl < 0 ? -static_cast<std::int64_t>(mfrl) : mfrl;
}

// Whether a leader read with `shape` describes a record whose entries are
// `entrySize` bytes: the directory follows the leader, the data area the
// directory.
constexpr bool LeaderIsConsistent(const WideLeader& leader, const LeaderShape& shape,
                                  std::int32_t entrySize) {
    return leader.NVF >= 0 && leader.BASE == shape.size + entrySize * leader.NVF &&
           RecordLength(leader.MFRL) >= leader.BASE;
}

// Whether an entry's value lies inside a data area of `dataLength` bytes.
constexpr bool EntryInsideData(const WideEntry& entry, std::int64_t dataLength) {
    return entry.POS >= 0 && entry.LEN >= 0 &&
           static_cast<std::int64_t>(entry.POS) + entry.LEN <= dataLength;
}

}  // namespace layout
