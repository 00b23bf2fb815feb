#include "CodePageEvidence.hpp"

#include <cstring>

#include "Utf8Validation.hpp"

namespace {

using Neighbour = CodePageEvidence::Neighbour;

struct NeighbourTable {
    Neighbour of[256];
};

constexpr NeighbourTable MakeNeighbourTable() {
    NeighbourTable table{};
    for (int byte = 0; byte < 256; ++byte) {
        table.of[byte] = byte >= 0x80                 ? CodePageEvidence::kHighByte
                         : byte >= 'a' && byte <= 'z' ? CodePageEvidence::kLowerAscii
                         : byte >= 'A' && byte <= 'Z' ? CodePageEvidence::kUpperAscii
                                                      : CodePageEvidence::kOther;
    }
    return table;
}

constexpr NeighbourTable kNeighbourOf = MakeNeighbourTable();

// Words are runs of ASCII letters and bytes 0x80 and above.
bool IsWordByte(unsigned char byte) {
    return kNeighbourOf.of[byte] != CodePageEvidence::kOther;
}

// charset::Utf8SequenceSize, without the call for the bytes that plainly
// begin no sequence, as most bytes of text in a single-byte page do.
std::size_t Utf8SequenceAt(const unsigned char* at, const unsigned char* end) {
    if (at[0] < 0xC2 || at[0] > 0xF4 || end - at < 2 || (at[1] & 0xC0) != 0x80) {
        return 0;
    }
    return charset::Utf8SequenceSize(at, end);
}

}  // namespace

CodePageEvidence::CodePageEvidence()
    : between_(128 * kNeighbours * kNeighbours), pairs_(128 * 128) {
    words_.reserve(kMostWords);
}

std::uint64_t CodePageEvidence::Occurrences(unsigned char byte) const {
    const std::size_t first = Index(byte) * kNeighbours * kNeighbours;
    std::uint64_t sum = 0;
    for (std::size_t i = first; i < first + kNeighbours * kNeighbours; ++i) {
        sum += between_[i];
    }
    return sum;
}

CodePageEvidence::Places CodePageEvidence::Where(unsigned char byte) const {
    Places places;
    for (std::size_t left = 0; left < kNeighbours; ++left) {
        for (std::size_t right = 0; right < kNeighbours; ++right) {
            const std::uint64_t count =
                Between(byte, static_cast<Neighbour>(left), static_cast<Neighbour>(right));
            const bool letterLeft = left == kLowerAscii || left == kUpperAscii;
            const bool letterRight = right == kLowerAscii || right == kUpperAscii;
            if (left == kHighByte || right == kHighByte) {
                places.besideHighByte += count;
            } else if (letterLeft && letterRight) {
                places.insideWord += count;
            } else if (letterLeft || letterRight) {
                places.wordEdge += count;
            } else {
                places.alone += count;
            }
        }
    }
    return places;
}

void CodePageEvidence::AddHighBytes(const unsigned char* begin, const unsigned char* high,
                                    const unsigned char* end) {
    ++valuesWithHighBytes_;
    // Counted here rather than in the members, which the compiler would
    // otherwise store after every count of the tables.
    std::uint64_t highBytes = 0;
    std::uint64_t utf8Sequences = 0;
    std::uint64_t utf8InvalidBytes = 0;
    std::uint64_t* const between = between_.data();
    std::uint64_t* const pairs = pairs_.data();
    while (high != end) {
        // The word around `high`: the bytes before it are ASCII letters.
        const unsigned char* wordStart = high;
        while (wordStart != begin && IsWordByte(wordStart[-1])) {
            --wordStart;
        }
        const unsigned char* utf8End = high;
        const unsigned char* at = high;
        for (; at != end && IsWordByte(*at); ++at) {
            const unsigned char byte = *at;
            if (byte < 0x80) {
                continue;
            }
            ++highBytes;
            const Neighbour left = at == begin ? kOther : kNeighbourOf.of[at[-1]];
            const Neighbour right = at + 1 == end ? kOther : kNeighbourOf.of[at[1]];
            ++between[Index(byte) * kNeighbours * kNeighbours + left * kNeighbours + right];
            if (right == kHighByte) {
                ++pairs[Index(byte) * 128 + Index(at[1])];
            }
            // A valid sequence is all bytes 0x80 and above, so inside the word.
            if (at >= utf8End) {
                const std::size_t size = Utf8SequenceAt(at, end);
                if (size > 0) {
                    ++utf8Sequences;
                    utf8End = at + size;
                } else {
                    ++utf8InvalidBytes;
                }
            }
        }
        AddWord(wordStart, static_cast<std::size_t>(at - wordStart));
        high = charset::AsciiRunEnd(begin, at, end);
    }
    highBytes_ += highBytes;
    utf8Sequences_ += utf8Sequences;
    utf8InvalidBytes_ += utf8InvalidBytes;
}

void CodePageEvidence::AddWord(const unsigned char* word, std::size_t length) {
    if (words_.size() == kMostWords || length > kMostWordBytes) {
        return;
    }
    bool newByte = false;
    for (std::size_t i = 0; i < length && !newByte; ++i) {
        if (word[i] >= 0x80) {
            const std::size_t index = Index(word[i]);
            newByte = (inWords_[index / 64] >> (index % 64) & 1) == 0;
        }
    }
    if (!newByte) {
        if (words_.size() >= kFirstWords) {
            return;
        }
        for (const Word& kept : words_) {
            if (kept.length == length && std::memcmp(kept.bytes, word, length) == 0) {
                return;
            }
        }
    }
    Word& kept = words_.emplace_back();
    std::memcpy(kept.bytes, word, length);
    kept.length = length;
    for (std::size_t i = 0; i < length; ++i) {
        if (word[i] >= 0x80) {
            const std::size_t index = Index(word[i]);
            inWords_[index / 64] |= std::uint64_t{1} << (index % 64);
        }
    }
}
