// The 24-byte leader that starts every ISO 2709 record, and the numbers in it
// that reading the record needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct IsoLeader {
    static constexpr std::size_t kSize = 24;
    // The longest record five digits of length can give.
    static constexpr std::size_t kLongestRecord = 99999;
    // The size of an entry in the usual map, CDS/ISIS's and MARC's: a 3-byte
    // tag, a length of 4 digits and a start of 5.
    static constexpr std::size_t kUsualEntrySize = 12;

    // The record's length in bytes, terminators included, line ends not.
    std::size_t recordLength = 0;
    // Where the first field starts: after the leader, the directory and its
    // field terminator.
    std::size_t baseAddress = 0;
    // How many indicator bytes and how many bytes of subfield marker and code
    // the fields have: 0 and 0 as CDS/ISIS writes them, 2 and 2 in MARC.
    // Values keep both as stored; these say what they hold.
    int indicatorCount = 0;
    int subfieldCodeLength = 0;
    // The directory entry map: how many digits give a field's length and its
    // start, and how many bytes the implementation part of an entry takes.
    std::size_t lengthDigits = 0;
    std::size_t startDigits = 0;
    std::size_t implementationBytes = 0;
    // How many entries the directory has.
    std::size_t entryCount = 0;

    // A directory entry: a 3-byte tag, the field's length, its start, the
    // implementation part.
    std::size_t EntrySize() const { return 3 + lengthDigits + startDigits + implementationBytes; }
};

// Reads `count` decimal digits at `bytes` into `value`; false, leaving it as
// it was, when a byte is not a digit.
inline bool ReadDigits(const unsigned char* bytes, std::size_t count, std::size_t& value) {
    std::size_t number = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned digit = bytes[i] - static_cast<unsigned>('0');
        if (digit > 9) {
            return false;
        }
        number = number * 10 + digit;
    }
    value = number;
    return true;
}

// The same for a count known when compiling: the CDS/ISIS directory's
// widths, read without a branch per digit.
template <std::size_t count>
inline bool ReadDigits(const unsigned char* bytes, std::size_t& value) {
    std::size_t number = 0;
    bool allDigits = true;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned digit = bytes[i] - static_cast<unsigned>('0');
        allDigits &= digit <= 9;
        number = number * 10 + digit;
    }
    if (allDigits) {
        value = number;
    }
    return allDigits;
}

// The eight bytes at `bytes` as one number, the first byte the lowest, on
// any machine: one load where numbers are little-endian, which the compiler
// knows when it compiles the test.
inline std::uint64_t EightBytes(const unsigned char* bytes) {
    std::uint64_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    const std::uint16_t one = 1;
    unsigned char lowest = 0;
    std::memcpy(&lowest, &one, 1);
    if (lowest == 1) {
        return value;
    }
    value = 0;
    for (int i = 7; i >= 0; --i) {
        value = value << 8 | bytes[i];
    }
    return value;
}

// Whether the eight bytes of EightBytes are all decimal digits: each byte's
// high half is 3, and stays 3 with 6 added.
inline bool EightDigits(std::uint64_t bytes) {
    constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0u;
    return ((bytes & kHigh) | (((bytes + 0x0606060606060606u) & kHigh) >> 4)) ==
           0x3333333333333333u;
}

// The numbers that the first four and the last four of eight digits
// (EightDigits) write, in the low and the high 32 bits: digits joined in
// pairs, then fours.
inline std::uint64_t EightDigitsAsFours(std::uint64_t bytes) {
    bytes = (bytes & 0x0F0F0F0F0F0F0F0Fu) * (10 * 256 + 1) >> 8;
    return ((bytes & 0x00FF00FF00FF00FFu) * (100 * 65536 + 1) >> 16) & 0x0000FFFF0000FFFFu;
}

// The number that eight digits (EightDigits) write, the first the most
// significant: the two fours joined.
inline std::uint32_t EightDigitsValue(std::uint64_t bytes) {
    return static_cast<std::uint32_t>(
        EightDigitsAsFours(bytes) * (10000 * (std::uint64_t{1} << 32) + 1) >> 32);
}

// Reads the leader at `bytes` (24 of them) into `leader`. Returns nullptr when
// it is a leader whose numbers agree with each other, or else why it is not.
const char* ReadLeader(const unsigned char* bytes, IsoLeader& leader);
