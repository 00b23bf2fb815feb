#include "CodePage.hpp"

#include <cstring>

#include "AsciiRun.hpp"
#include "Charset.hpp"

namespace charset {

namespace {

// Writes three bytes whatever the form's size: the caller's room allows it,
// and a fixed-size copy costs less than one of variable size.
inline char* Put(const CodePage& page, unsigned char byte, char* out, ConversionProblem& problem) {
    const Utf8Form& form = page.forms[byte];
    std::memcpy(out, form.bytes, sizeof form.bytes);
    if (form.undefined) {
        problem.Count(byte);
    }
    return out + form.size;
}

}  // namespace

char* CodePageToUtf8(const CodePage& page, const unsigned char* bytes, std::size_t length,
                     char* out, ConversionProblem& problem) {
    const unsigned char* end = bytes + length;
    std::uint64_t word;
    while (end - bytes >= 8) {
        if (AllAscii(bytes, word)) {
            std::memcpy(out, &word, sizeof word);
            out += sizeof word;
            bytes += sizeof word;
            continue;
        }
        for (const unsigned char* wordEnd = bytes + 8; bytes != wordEnd; ++bytes) {
            out = Put(page, *bytes, out, problem);
        }
    }
    // When the value's last 8 bytes are ASCII, those of them already done were
    // written as they are, just before `out`: writing the 8 again ends the value.
    if (length >= 8 && AllAscii(end - 8, word)) {
        std::memcpy(out - (8 - (end - bytes)), &word, sizeof word);
        return out + (end - bytes);
    }
    for (; bytes != end; ++bytes) {
        out = Put(page, *bytes, out, problem);
    }
    return out;
}

std::size_t CodePageUtf8Length(const CodePage& page, const unsigned char* bytes,
                               std::size_t length) {
    const unsigned char* begin = bytes;
    const unsigned char* end = bytes + length;
    std::size_t utf8Length = 0;
    while (bytes != end) {
        const unsigned char* ascii = AsciiRunEnd(begin, bytes, end);
        utf8Length += static_cast<std::size_t>(ascii - bytes);
        for (bytes = ascii; bytes != end && *bytes >= 0x80; ++bytes) {
            utf8Length += page.forms[*bytes].size;
        }
    }
    return utf8Length;
}

}  // namespace charset
