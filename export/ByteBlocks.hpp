// Tests on 16 bytes at a time, for the formats' fast ways through values
// that need nothing done to them. Each gives one bit per byte, bit i for
// byte i, whatever the host's byte order.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define MSTEXPORT_SSE2 1
#endif

namespace blocks {

constexpr std::size_t kBlock = 16;

// The bytes of 0x80 and above among the 16 at `bytes`.
inline std::uint32_t HighBytes(const unsigned char* bytes) {
#ifdef MSTEXPORT_SSE2
    return static_cast<std::uint32_t>(
        _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes))));
#else
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < kBlock; ++i) {
        mask |= static_cast<std::uint32_t>(bytes[i] >> 7) << i;
    }
    return mask;
#endif
}

// The bytes among the 16 at `bytes` that a JSON string cannot take as they
// are: control characters, '"' and '\' (escaped), and bytes of 0x80 and
// above (checked as UTF-8).
inline std::uint32_t JsonSpecialBytes(const unsigned char* bytes) {
#ifdef MSTEXPORT_SSE2
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    // Signed, bytes of 0x80 and above are below 0x20 too.
    const __m128i special = _mm_or_si128(_mm_cmplt_epi8(block, _mm_set1_epi8(0x20)),
                                         _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('"')),
                                                      _mm_cmpeq_epi8(block, _mm_set1_epi8('\\'))));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(special));
#else
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < kBlock; ++i) {
        const unsigned char byte = bytes[i];
        if (byte < 0x20 || byte >= 0x80 || byte == '"' || byte == '\\') {
            mask |= 1u << i;
        }
    }
    return mask;
#endif
}

// The bytes among the 16 at `bytes` that are `a` or `b`.
inline std::uint32_t EitherByte(const unsigned char* bytes, unsigned char a, unsigned char b) {
#ifdef MSTEXPORT_SSE2
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const __m128i either = _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(a))),
                                        _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(b))));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(either));
#else
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < kBlock; ++i) {
        mask |= static_cast<std::uint32_t>(bytes[i] == a || bytes[i] == b) << i;
    }
    return mask;
#endif
}

// Keeps the bits of the first `count` bytes of a block, when fewer than 16.
inline std::uint32_t OnlyFirst(std::uint32_t mask, std::size_t count) {
    return count < kBlock ? mask & ((1u << count) - 1) : mask;
}

// Whether the `length` bytes at `bytes` are all ASCII. The last block is
// read whole, which the master file's buffers allow.
inline bool IsAscii(const unsigned char* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; i += kBlock) {
        if (OnlyFirst(HighBytes(bytes + i), length - i) != 0) {
            return false;
        }
    }
    return true;
}

// Where the first `a` or `b` lies among the `length` bytes at `bytes`, or
// `length` when there is none. The last block is read whole, as by IsAscii.
inline std::size_t FindEither(const unsigned char* bytes, std::size_t length, unsigned char a,
                              unsigned char b) {
    for (std::size_t i = 0; i < length; i += kBlock) {
        const std::uint32_t found = OnlyFirst(EitherByte(bytes + i, a, b), length - i);
        if (found != 0) {
            std::size_t at = i;
            for (std::uint32_t rest = found; (rest & 1u) == 0; rest >>= 1) {
                ++at;
            }
            return at;
        }
    }
    return length;
}

}  // namespace blocks
