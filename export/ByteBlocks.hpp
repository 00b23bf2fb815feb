// Tests on 16 bytes at a time, for the formats' fast ways through values
// that need nothing done to them. Each gives one bit per byte, bit i for
// byte i, whatever the host's byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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

// Watches values for two bytes, `a` and `b`, at a few instructions a block:
// MayHold() is true whenever a value added holds one of them, and nearly
// never otherwise: a byte passes when it equals them in the bits where they
// agree, which lets 0x1C and 0x1F pass beside 0x1D and 0x1E. The last block
// of each value is read whole, as by IsAscii.
class ByteWatch {
  public:
    ByteWatch(unsigned char a, unsigned char b) : a_(a), b_(b) {}

    // Copies a value as tagged::CopyValue does, in blocks of 32 bytes, and
    // watches it on the way; returns the value's end at `out`.
    char* Copy(char* out, const unsigned char* bytes, std::size_t length) {
#ifdef MSTEXPORT_SSE2
        const __m128i differ = _mm_set1_epi8(static_cast<char>(a_ ^ b_));
        const __m128i both = _mm_set1_epi8(static_cast<char>(a_ | b_));
        for (std::size_t i = 0; i < length; i += 2 * kBlock) {
            const __m128i low = Load(bytes + i);
            const __m128i high = Load(bytes + i + kBlock);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), low);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + kBlock), high);
            __m128i lowFound = _mm_cmpeq_epi8(_mm_or_si128(low, differ), both);
            __m128i highFound = _mm_cmpeq_epi8(_mm_or_si128(high, differ), both);
            if (length - i < 2 * kBlock) {
                lowFound = _mm_andnot_si128(PastEnd(length - i, 0), lowFound);
                highFound = _mm_andnot_si128(PastEnd(length - i, kBlock), highFound);
            }
            found_ = _mm_or_si128(found_, _mm_or_si128(lowFound, highFound));
        }
        return out + length;
#else
        for (std::size_t i = 0; i < length; i += 2 * kBlock) {
            std::memcpy(out + i, bytes + i, 2 * kBlock);
        }
        Add(bytes, length);
        return out + length;
#endif
    }

    // Watches a value written otherwise.
    void Add(const unsigned char* bytes, std::size_t length) {
#ifdef MSTEXPORT_SSE2
        const __m128i differ = _mm_set1_epi8(static_cast<char>(a_ ^ b_));
        const __m128i both = _mm_set1_epi8(static_cast<char>(a_ | b_));
        for (std::size_t i = 0; i < length; i += kBlock) {
            __m128i found = _mm_cmpeq_epi8(_mm_or_si128(Load(bytes + i), differ), both);
            if (length - i < kBlock) {
                found = _mm_andnot_si128(PastEnd(length - i, 0), found);
            }
            found_ = _mm_or_si128(found_, found);
        }
#else
        found_ = found_ || std::memchr(bytes, a_, length) != nullptr ||
                 std::memchr(bytes, b_, length) != nullptr;
#endif
    }

    bool MayHold() const {
#ifdef MSTEXPORT_SSE2
        return _mm_movemask_epi8(found_) != 0;
#else
        return found_;
#endif
    }

  private:
#ifdef MSTEXPORT_SSE2
    static __m128i Load(const unsigned char* bytes) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    }
    // 0xFF in the lanes of the block at `offset` that lie at or past `count`
    // bytes, which a value's last block reads beyond its end.
    static __m128i PastEnd(std::size_t count, std::size_t offset) {
        alignas(16) static constexpr unsigned char kPastEnd[64] = {
            0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
            0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
            0,    0,    0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        return Load(kPastEnd + 2 * kBlock + offset - count);
    }
#endif

    unsigned char a_;
    unsigned char b_;
#ifdef MSTEXPORT_SSE2
    __m128i found_ = _mm_setzero_si128();
#else
    bool found_ = false;
#endif
};

}  // namespace blocks
