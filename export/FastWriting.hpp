// How the formats write fast, in one place.
//
// The rule: every value a format writes, held whole or a piece of one, has
// kViewSlack readable bytes after it (see FieldValue), and every room a
// format asks of the output or of its scratch buffer holds a block more than
// it will keep (kBlock, or kOverrun where 32 bytes are copied). So values are copied and tested in
// whole blocks of 16 or 32 bytes, reading and writing up to a block past their end, which costs far
// less than an exact copy; each writer returns where the value really ends, and what lies past it
// is written over or never kept. The digits and the markup of the small numbers every record has
// (tags 0 to 999, a directory's numbers, the next MFN) are copied from tables made once, not
// computed.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/ViewSlack.hpp"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define MSTEXPORT_SSE2 1
#endif

namespace fast {

// Tests take 16 bytes at a time, each giving one bit per byte, bit i for byte
// i, whatever the host's byte order; copies take 32.
constexpr std::size_t kBlock = 16;
constexpr std::size_t kValueBlock = 32;
constexpr std::size_t kOverrun = kValueBlock;
static_assert(kValueBlock <= kViewSlack, "a value's last block may not read past the slack");

// A record whose text takes at most this many bytes is written in one
// piece; a larger one (overlapping values can make it tens of megabytes)
// field by field, so that the output's memory stays flat.
constexpr std::size_t kRecordRoom = 64 * 1024;

// Copies a value in blocks, which costs less than a call to copy it exactly.
inline char* CopyValue(char* out, const unsigned char* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; i += kValueBlock) {
        std::memcpy(out + i, bytes + i, kValueBlock);
    }
    return out + length;
}

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

// The bytes among the 16 at `bytes` that a CSV cell cannot take as they
// are: ',', '"', CR and LF, for which it is quoted, and bytes of 0x80 and
// above (checked as UTF-8, or converted).
inline std::uint32_t CsvSpecialBytes(const unsigned char* bytes) {
#ifdef MSTEXPORT_SSE2
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const __m128i special = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8(',')),
                                                      _mm_cmpeq_epi8(block, _mm_set1_epi8('"'))),
                                         _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('\r')),
                                                      _mm_cmpeq_epi8(block, _mm_set1_epi8('\n'))));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(special, block)));
#else
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < kBlock; ++i) {
        const unsigned char byte = bytes[i];
        if (byte == ',' || byte == '"' || byte == '\r' || byte == '\n' || byte >= 0x80) {
            mask |= 1u << i;
        }
    }
    return mask;
#endif
}

// The bytes among the 16 at `bytes` that are `byte`.
inline std::uint32_t BytesEqualTo(const unsigned char* bytes, unsigned char byte) {
#ifdef MSTEXPORT_SSE2
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    return static_cast<std::uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(byte)))));
#else
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < kBlock; ++i) {
        if (bytes[i] == byte) {
            mask |= 1u << i;
        }
    }
    return mask;
#endif
}

// The place of the lowest bit set in `mask`, which is not 0.
inline std::size_t LowestBit(std::uint32_t mask) {
#if defined(__GNUC__) || defined(__clang__)
    return static_cast<std::size_t>(__builtin_ctz(mask));
#else
    std::size_t bit = 0;
    for (; (mask & 1u) == 0; mask >>= 1) {
        ++bit;
    }
    return bit;
#endif
}

// Keeps the bits of the first `count` bytes of a block, when fewer than 16.
inline std::uint32_t OnlyFirst(std::uint32_t mask, std::size_t count) {
    return count < kBlock ? mask & ((1u << count) - 1) : mask;
}

// Keeps the bits of the first `count` bytes of 32, without a branch: where
// a value ends is no pattern that a branch could learn.
inline std::uint32_t OnlyFirstOf32(std::uint32_t mask, std::size_t count) {
    const std::size_t kept = std::min<std::size_t>(count, 32);
    return mask & static_cast<std::uint32_t>((std::uint64_t{1} << kept) - 1);
}

// Writes `count` copies of `byte` at `out`, which has room for them and
// kOverrun more, in blocks; returns their end.
inline char* Fill(char* out, unsigned char byte, std::size_t count) {
#ifdef MSTEXPORT_SSE2
    const __m128i block = _mm_set1_epi8(static_cast<char>(byte));
    for (std::size_t i = 0; i < count; i += 2 * kBlock) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), block);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + kBlock), block);
    }
#else
    std::memset(out, byte, count);
#endif
    return out + count;
}

// The first of the `length` bytes at `bytes` that is `byte`, looked for 16 at
// a time; `length` when none is.
inline std::size_t Find(const unsigned char* bytes, std::size_t length, unsigned char byte) {
    for (std::size_t i = 0; i < length; i += kBlock) {
        const std::uint32_t found = OnlyFirst(BytesEqualTo(bytes + i, byte), length - i);
        if (found != 0) {
            return i + LowestBit(found);
        }
    }
    return length;
}

// Whether the `length` bytes at `bytes` are all ASCII.
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
// agree, which lets 0x1C and 0x1F pass beside 0x1D and 0x1E.
class ByteWatch {
  public:
    ByteWatch(unsigned char a, unsigned char b) : a_(a), b_(b) {}

    // Copies a value as CopyValue does, in blocks of 32 bytes, and watches it
    // on the way; returns the value's end at `out`.
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

// Copies the bytes at the start of `bytes` up to the first that
// `special(block)` names, 16 at a time; returns how many those are:
// `length` when it names none.
template <typename Special>
inline std::size_t CopyWhilePlain(char* out, const unsigned char* bytes, std::size_t length,
                                  Special special) {
    std::size_t plain = 0;
    for (;;) {
        std::uint32_t found = OnlyFirst(special(bytes + plain), length - plain);
        std::memcpy(out + plain, bytes + plain, kBlock);
        if (found != 0) {
            return plain + LowestBit(found);
        }
        plain += kBlock;
        if (plain >= length) {
            return length;
        }
    }
}

// CopyWhilePlain in steps of 32 bytes, tested as two blocks: most values are
// short, and one of 17 to 32 bytes then takes one step. `out` needs room for
// kOverrun bytes past where the copy stops. A byte found past the value's
// end, in its slack, only ends the copy at the end, which costs less than
// clearing its bit; so this suits bytes that are rare in the slack, as the
// bytes a JSON string escapes are among text.
template <typename Special>
inline std::size_t CopyWhilePlainWide(char* out, const unsigned char* bytes, std::size_t length,
                                      Special special) {
    std::size_t plain = 0;
    for (;;) {
        std::uint32_t found = special(bytes + plain);
        found |= special(bytes + plain + kBlock) << kBlock;
        std::memcpy(out + plain, bytes + plain, kValueBlock);
        if (found != 0) {
            return std::min(plain + LowestBit(found), length);
        }
        plain += kValueBlock;
        if (plain >= length) {
            return length;
        }
    }
}

// Copies the bytes at the start of a value that a JSON string takes as they
// are, up to the first that JsonSpecialBytes names, 32 at a time; returns how
// many those are: `length` when all are.
inline std::size_t CopyJsonPlain(char* out, const unsigned char* bytes, std::size_t length) {
    return CopyWhilePlainWide(out, bytes, length,
                              [](const unsigned char* block) { return JsonSpecialBytes(block); });
}

// The bytes among the 16 at `bytes` that JsonSpecialBytes names, and '^',
// where a subfield may begin: where a subfield's text stops being copied as
// it is. '\\' (0x5C) and '^' (0x5E) differ only in the bit 0x02, so one test
// finds both.
inline std::uint32_t JsonTextStops(const unsigned char* bytes) {
#ifdef MSTEXPORT_SSE2
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const __m128i belowSpace = _mm_cmpgt_epi8(_mm_set1_epi8(0x20), block);  // and 0x80 up
    const __m128i quote = _mm_cmpeq_epi8(block, _mm_set1_epi8('"'));
    const __m128i backslashOrCaret =
        _mm_cmpeq_epi8(_mm_or_si128(block, _mm_set1_epi8(0x02)), _mm_set1_epi8('^'));
    return static_cast<std::uint32_t>(
        _mm_movemask_epi8(_mm_or_si128(belowSpace, _mm_or_si128(quote, backslashOrCaret))));
#else
    return JsonSpecialBytes(bytes) | BytesEqualTo(bytes, '^');
#endif
}

// The digits of a tag are copied as this many bytes whatever their number.
constexpr std::size_t kTagCopy = 12;

// The decimal digits of the tags 0 to 999, which nearly every database
// uses, in 4 bytes each: up to three digits, then how many there are.
struct SmallTags {
    char bytes[1000][4];
    constexpr SmallTags() : bytes() {
        for (int tag = 0; tag < 1000; ++tag) {
            const int count = tag >= 100 ? 3 : tag >= 10 ? 2 : 1;
            int rest = tag;
            for (int i = count - 1; i >= 0; --i) {
                bytes[tag][i] = static_cast<char>('0' + rest % 10);
                rest /= 10;
            }
            bytes[tag][3] = static_cast<char>(count);
        }
    }
};
inline constexpr SmallTags kSmallTags;

// Puts the tag's digits into `digits`, possibly followed by other bytes, and
// returns how many there are.
inline std::size_t TagDigits(std::int32_t tag, char (&digits)[kTagCopy]) {
    if (tag >= 0 && tag < 1000) {
        std::memcpy(digits, kSmallTags.bytes[tag], 4);
        return static_cast<std::size_t>(digits[3]);
    }
    return static_cast<std::size_t>(std::to_chars(digits, digits + kTagCopy, tag).ptr - digits);
}

// The markup of the lines of the tags 0 to 999, which nearly every database
// uses: "<24>" and "</24>\n", each in 8 bytes, and their lengths.
struct SmallTagMarkup {
    struct Markup {
        char open[8];
        char close[8];
        std::size_t openLength;
        std::size_t closeLength;
    };
    Markup tags[1000];
    SmallTagMarkup() noexcept;
};
extern const SmallTagMarkup kSmallTagMarkup;

// "0000", "0001" ... "9999": the digits of a directory entry's numbers are
// copied from here, which costs less than computing them; the entries that
// records use, the smaller numbers, share few cache lines.
struct FourDigits {
    char digits[10000][4];
    constexpr FourDigits() : digits() {
        for (int i = 0; i < 10000; ++i) {
            digits[i][0] = static_cast<char>('0' + i / 1000);
            digits[i][1] = static_cast<char>('0' + i / 100 % 10);
            digits[i][2] = static_cast<char>('0' + i / 10 % 10);
            digits[i][3] = static_cast<char>('0' + i % 10);
        }
    }
};
inline constexpr FourDigits kFourDigits;

// Writes `number` (below 10^width, width 3 to 5) as `width` decimal digits
// with leading zeros.
template <int width>
inline char* PutDigits(char* out, std::size_t number) {
    static_assert(width >= 3 && width <= 5, "four digits and one more at the most");
    if constexpr (width == 5) {
        *out++ = static_cast<char>('0' + number / 10000);
        number %= 10000;
    }
    std::memcpy(out, kFourDigits.digits[number] + (4 - std::min(width, 4)), std::min(width, 4));
    return out + std::min(width, 4);
}

// What goes before the value of a field with one of the tags 0 to 999,
// ',{"tag":24,"value":"', in 32 bytes that are copied whole. A record's
// first field starts after the comma.
struct FieldOpenings {
    struct Opening {
        char bytes[32];
        std::size_t length;
    };
    Opening tags[1000];
    FieldOpenings() noexcept;
};
extern const FieldOpenings kFieldOpenings;

// The decimal digits of the MFNs an export writes, one after another.
class MfnDigits {
  public:
    // The digits of `mfn`. The export asks for 1, 2, 3 ... in turn, so the
    // last number is counted up in its digits, which costs less than
    // formatting each one.
    std::string_view Of(std::int32_t mfn) {
        if (mfn == last_ + 1 && last_ > 0) {
            CountUp();
        } else {
            size_ = static_cast<std::size_t>(
                std::to_chars(digits_, digits_ + sizeof digits_, mfn).ptr - digits_);
        }
        last_ = mfn;
        return {digits_, size_};
    }

    // The bytes that Write copies, whatever the number of digits.
    static constexpr std::size_t kCopy = 16;

    // Writes the digits of `mfn` at `out`, which has room for kCopy bytes;
    // returns their end. A fixed size costs less than a call to copy them.
    char* Write(std::int32_t mfn, char* out) {
        const std::size_t size = Of(mfn).size();
        std::memcpy(out, digits_, kCopy);
        return out + size;
    }

  private:
    void CountUp() {
        std::size_t i = size_;
        while (i > 0 && digits_[i - 1] == '9') {
            digits_[--i] = '0';
        }
        if (i > 0) {
            ++digits_[i - 1];
            return;
        }
        // 9...9 becomes 10...0.
        digits_[0] = '1';
        digits_[size_++] = '0';
    }

    char digits_[kCopy] = {};
    std::size_t size_ = 0;
    std::int32_t last_ = 0;
};

}  // namespace fast
