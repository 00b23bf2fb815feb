#include "Utf8Validation.hpp"

#include <cstring>

#include "AsciiRun.hpp"
#include "Charset.hpp"

namespace charset {

// The size of the valid sequence that starts with the byte 0x80 or above at
// `bytes`, or 0. The second byte's range rules out overlong forms, surrogates
// and code points past U+10FFFF.
std::size_t Utf8SequenceSize(const unsigned char* bytes, const unsigned char* end) {
    const unsigned char lead = bytes[0];
    std::size_t size = 0;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        size = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        size = 3;
        secondLow = lead == 0xE0 ? 0xA0 : 0x80;
        secondHigh = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        size = 4;
        secondLow = lead == 0xF0 ? 0x90 : 0x80;
        secondHigh = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (static_cast<std::size_t>(end - bytes) < size || bytes[1] < secondLow ||
        bytes[1] > secondHigh) {
        return 0;
    }
    for (std::size_t i = 2; i < size; ++i) {
        if ((bytes[i] & 0xC0) != 0x80) {
            return 0;
        }
    }
    return size;
}

namespace {

// Hands each run of valid bytes to `valid(start, size)` and each byte that
// begins no valid sequence to `invalid(byte)`, in order.
template <typename Valid, typename Invalid>
void Walk(const unsigned char* bytes, std::size_t length, Valid valid, Invalid invalid) {
    const unsigned char* begin = bytes;
    const unsigned char* end = bytes + length;
    const unsigned char* run = bytes;
    while ((bytes = AsciiRunEnd(begin, bytes, end)) != end) {
        if (const std::size_t size = Utf8SequenceSize(bytes, end); size > 0) {
            bytes += size;
            continue;
        }
        valid(run, static_cast<std::size_t>(bytes - run));
        invalid(*bytes);
        run = ++bytes;
    }
    valid(run, static_cast<std::size_t>(end - run));
}

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::size_t kReplacementSize = sizeof kReplacement - 1;

}  // namespace

char* ValidatedUtf8(const unsigned char* bytes, std::size_t length, char* out,
                    ConversionProblem& problem) {
    Walk(
        bytes, length,
        [&out](const unsigned char* run, std::size_t size) {
            if (size > 0) {
                std::memcpy(out, run, size);
                out += size;
            }
        },
        [&out, &problem](unsigned char byte) {
            std::memcpy(out, kReplacement, kReplacementSize);
            out += kReplacementSize;
            problem.Count(byte);
        });
    return out;
}

std::size_t ValidatedUtf8Length(const unsigned char* bytes, std::size_t length) {
    std::size_t utf8Length = 0;
    Walk(
        bytes, length,
        [&utf8Length](const unsigned char*, std::size_t size) { utf8Length += size; },
        [&utf8Length](unsigned char) { utf8Length += kReplacementSize; });
    return utf8Length;
}

}  // namespace charset
