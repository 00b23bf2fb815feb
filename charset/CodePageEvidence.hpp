// What a database's values tell of the code page they were written in,
// gathered one value at a time for the code page guess: where each byte 0x80
// and above stands, which such bytes follow one another, whether they are
// valid UTF-8, and a few words that hold them. A value of ASCII bytes only
// costs a scan for bytes 0x80 and above; the memory taken, about 150 KiB,
// is the same whatever the database.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "AsciiRun.hpp"

class CodePageEvidence {
  public:
    // What stands on one side of a byte 0x80 or above in its value. Other
    // covers the value's start and end and every ASCII byte that is not a
    // letter: spaces, punctuation, digits.
    enum Neighbour : std::uint8_t { kOther, kLowerAscii, kUpperAscii, kHighByte };
    static constexpr std::size_t kNeighbours = 4;

    // Where the occurrences of one byte stand.
    struct Places {
        std::uint64_t insideWord = 0;      // between two ASCII letters
        std::uint64_t wordEdge = 0;        // an ASCII letter on one side only
        std::uint64_t alone = 0;           // no letter and no high byte beside it
        std::uint64_t besideHighByte = 0;  // a byte 0x80 or above on either side
    };

    // A word (a run of ASCII letters and bytes 0x80 and above) that holds a
    // byte 0x80 or above, as stored.
    static constexpr std::size_t kMostWordBytes = 40;
    struct Word {
        unsigned char bytes[kMostWordBytes];
        std::size_t length;
    };
    // The words kept: the first kFirstWords different ones, then only words
    // that hold a byte no word kept holds, up to kMostWords.
    static constexpr std::size_t kFirstWords = 16;
    static constexpr std::size_t kMostWords = 32;

    CodePageEvidence();

    void Add(const unsigned char* bytes, std::size_t length) {
        ++values_;
        const unsigned char* end = bytes + length;
        const unsigned char* high = charset::AsciiRunEnd(bytes, bytes, end);
        if (high != end) {
            AddHighBytes(bytes, high, end);
        }
    }

    // As Add, for a value whose first byte 0x80 or above the caller has
    // found: `high`, or `bytes + length` when there is none.
    void AddKnowingFirstHighByte(const unsigned char* bytes, std::size_t length,
                                 const unsigned char* high) {
        ++values_;
        if (high != bytes + length) {
            AddHighBytes(bytes, high, bytes + length);
        }
    }

    std::uint64_t Values() const { return values_; }
    std::uint64_t ValuesWithHighBytes() const { return valuesWithHighBytes_; }
    // Every occurrence of a byte 0x80 or above.
    std::uint64_t HighBytes() const { return highBytes_; }
    // The occurrences of `byte` (0x80 or above).
    std::uint64_t Occurrences(unsigned char byte) const;
    // Those with `left` before and `right` after them.
    std::uint64_t Between(unsigned char byte, Neighbour left, Neighbour right) const {
        return between_[Index(byte) * kNeighbours * kNeighbours + left * kNeighbours + right];
    }
    Places Where(unsigned char byte) const;
    // How often the byte `first` is followed by the byte `second`, both 0x80
    // or above.
    std::uint64_t Pair(unsigned char first, unsigned char second) const {
        return pairs_[Index(first) * 128 + Index(second)];
    }

    // Valid UTF-8 sequences of two to four bytes, and bytes 0x80 and above
    // that begin none.
    std::uint64_t Utf8Sequences() const { return utf8Sequences_; }
    std::uint64_t Utf8InvalidBytes() const { return utf8InvalidBytes_; }

    const std::vector<Word>& Words() const { return words_; }

  private:
    static std::size_t Index(unsigned char byte) { return static_cast<std::size_t>(byte - 0x80); }

    // The value from `begin` to `end`, whose first byte 0x80 or above is at `high`.
    void AddHighBytes(const unsigned char* begin, const unsigned char* high,
                      const unsigned char* end);
    void AddWord(const unsigned char* word, std::size_t length);

    std::uint64_t values_ = 0;
    std::uint64_t valuesWithHighBytes_ = 0;
    std::uint64_t highBytes_ = 0;
    std::uint64_t utf8Sequences_ = 0;
    std::uint64_t utf8InvalidBytes_ = 0;
    std::vector<std::uint64_t> between_;  // [byte][left][right]
    std::vector<std::uint64_t> pairs_;    // [first][second]
    std::vector<Word> words_;
    // Bit i: a word kept holds the byte 0x80 + i.
    std::uint64_t inWords_[2] = {0, 0};
};
