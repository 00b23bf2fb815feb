// A single-byte code page as the UTF-8 form of each of its 256 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

struct ConversionProblem;

namespace charset {

// In the generated tables, a byte that the code page leaves undefined.
constexpr std::uint16_t kUndefined = 0;

struct Utf8Form {
    unsigned char bytes[3];
    unsigned char size;
    bool undefined;
};

struct CodePage {
    Utf8Form forms[256];
};

constexpr Utf8Form Utf8FormOf(std::uint16_t codePoint) {
    if (codePoint < 0x80) {
        return {{static_cast<unsigned char>(codePoint), 0, 0}, 1, false};
    }
    if (codePoint < 0x800) {
        return {{static_cast<unsigned char>(0xC0 | codePoint >> 6),
                 static_cast<unsigned char>(0x80 | (codePoint & 0x3F)), 0},
                2,
                false};
    }
    return {{static_cast<unsigned char>(0xE0 | codePoint >> 12),
             static_cast<unsigned char>(0x80 | (codePoint >> 6 & 0x3F)),
             static_cast<unsigned char>(0x80 | (codePoint & 0x3F))},
            3,
            false};
}

// The code page whose bytes below 0x80 are ASCII and whose bytes 0x80 to 0xFF
// are the code points `highHalf` lists; an undefined byte becomes U+FFFD.
constexpr CodePage CodePageOf(const std::uint16_t (&highHalf)[128]) {
    CodePage page{};
    for (std::size_t byte = 0; byte < 0x80; ++byte) {
        page.forms[byte] = Utf8FormOf(static_cast<std::uint16_t>(byte));
        if (highHalf[byte] == kUndefined) {
            page.forms[byte + 0x80] = Utf8FormOf(0xFFFD);
            page.forms[byte + 0x80].undefined = true;
        } else {
            page.forms[byte + 0x80] = Utf8FormOf(highHalf[byte]);
        }
    }
    return page;
}

char* CodePageToUtf8(const CodePage& page, const unsigned char* bytes, std::size_t length,
                     char* out, ConversionProblem& problem);
std::size_t CodePageUtf8Length(const CodePage& page, const unsigned char* bytes,
                               std::size_t length);

}  // namespace charset
