#include "CaseFolding.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace charset {

namespace {

struct LowerCasePair {
    std::uint16_t upper;
    std::uint16_t lower;
};

#include "CaseFoldingTable.inc"

// A byte that begins no UTF-8 sequence stands for itself, apart from every
// code point.
constexpr char32_t kRawByte = 0x110000;

// The code point that starts at `at` in `text`, moving `at` past it.
char32_t NextCodePoint(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at++]);
    const std::size_t more = lead >= 0xF0 && lead < 0xF5   ? 3
                             : lead >= 0xE0 && lead < 0xF0 ? 2
                             : lead >= 0xC2 && lead < 0xE0 ? 1
                                                           : 0;
    if (lead < 0x80 || more == 0 || text.size() - at < more) {
        return lead < 0x80 ? lead : kRawByte + lead;
    }
    char32_t point = lead & (0x3F >> more);
    for (std::size_t i = 0; i < more; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            return kRawByte + lead;
        }
        point = point << 6 | (next & 0x3F);
    }
    at += more;
    return point;
}

}  // namespace

char32_t LowerCase(char32_t codePoint) {
    if (codePoint < 0x80) {
        return codePoint >= 'A' && codePoint <= 'Z' ? codePoint - 'A' + 'a' : codePoint;
    }
    const auto* const end = kLowerCase + sizeof kLowerCase / sizeof kLowerCase[0];
    const auto* const found = std::lower_bound(
        kLowerCase, end, codePoint,
        [](const LowerCasePair& pair, char32_t point) { return pair.upper < point; });
    return found != end && found->upper == codePoint ? found->lower : codePoint;
}

bool SameInAnyCase(std::string_view a, std::string_view b) {
    std::size_t atA = 0;
    std::size_t atB = 0;
    while (atA < a.size() && atB < b.size()) {
        if (LowerCase(NextCodePoint(a, atA)) != LowerCase(NextCodePoint(b, atB))) {
            return false;
        }
    }
    return atA == a.size() && atB == b.size();
}

}  // namespace charset
