// Finds where a run of ASCII bytes ends, eight bytes at a time.
#pragma once

#include <cstdint>
#include <cstring>

namespace charset {

constexpr std::uint64_t kHighBitOfEachByte = 0x8080808080808080u;

// Whether the 8 bytes at `bytes` are all below 0x80; `word` gets them.
inline bool AllAscii(const unsigned char* bytes, std::uint64_t& word) {
    std::memcpy(&word, bytes, sizeof word);
    return (word & kHighBitOfEachByte) == 0;
}

// The first byte at or after `bytes` that is 0x80 or above, or `end`; the
// value these bytes belong to starts at `begin`.
inline const unsigned char* AsciiRunEnd(const unsigned char* begin, const unsigned char* bytes,
                                        const unsigned char* end) {
    std::uint64_t word;
    while (end - bytes >= 8 && AllAscii(bytes, word)) {
        bytes += 8;
    }
    // Fewer than 8 left: the 8 that end the value, when the value has them,
    // answer for all of them at once.
    if (end - bytes < 8 && end - begin >= 8 && AllAscii(end - 8, word)) {
        return end;
    }
    while (bytes != end && *bytes < 0x80) {
        ++bytes;
    }
    return bytes;
}

}  // namespace charset
