#include "CodePageEvidence.hpp"

#include <cstring>

#include "Utf8Validation.hpp"

namespace {

bool IsWordByte(unsigned char byte) {
    return byte >= 0x80 || static_cast<unsigned char>((byte | 0x20) - 'a') < 26;
}

CodePageEvidence::Neighbour NeighbourOf(unsigned char byte) {
    if (byte >= 0x80) {
        return CodePageEvidence::kHighByte;
    }
    if (byte >= 'a' && byte <= 'z') {
        return CodePageEvidence::kLowerAscii;
    }
    if (byte >= 'A' && byte <= 'Z') {
        return CodePageEvidence::kUpperAscii;
    }
    return CodePageEvidence::kOther;
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
            ++highBytes_;
            const Neighbour left = at == begin ? kOther : NeighbourOf(at[-1]);
            const Neighbour right = at + 1 == end ? kOther : NeighbourOf(at[1]);
            ++between_[Index(byte) * kNeighbours * kNeighbours + left * kNeighbours + right];
            if (right == kHighByte) {
                ++pairs_[Index(byte) * 128 + Index(at[1])];
            }
            // A valid sequence is all bytes 0x80 and above, so inside the word.
            if (at >= utf8End) {
                const std::size_t size = charset::Utf8SequenceSize(at, end);
                if (size > 0) {
                    ++utf8Sequences_;
                    utf8End = at + size;
                } else {
                    ++utf8InvalidBytes_;
                }
            }
        }
        AddWord(wordStart, static_cast<std::size_t>(at - wordStart));
        high = charset::AsciiRunEnd(begin, at, end);
    }
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
