// Compares every byte of every charset with GNU libc's iconv, whose mappings
// the tables follow.
#include <gtest/gtest.h>

#include "CharsetConversion.hpp"

#ifdef __linux__

#include <iconv.h>

#include <cstdint>

namespace {

// The UTF-8 form of `byte` as `descriptor` gives it, or false when iconv rejects it.
bool IconvToUtf8(iconv_t descriptor, char byte, std::string& utf8) {
    char out[8];
    char* in = &byte;
    char* outNext = out;
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof out;
    iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
    if (iconv(descriptor, &in, &inLeft, &outNext, &outLeft) == static_cast<std::size_t>(-1)) {
        return false;
    }
    utf8.assign(out, outNext);
    return true;
}

TEST(CharsetIconv, EveryByteOfEveryCharsetConvertsAsIconvConvertsIt) {
    const std::vector<std::string> names = CanonicalNames();
    ASSERT_EQ(names.size(), 11u);
    for (const std::string& name : names) {
        const iconv_t descriptor = iconv_open("UTF-8", name.c_str());
        ASSERT_NE(descriptor, reinterpret_cast<iconv_t>(std::intptr_t{-1})) << name;
        for (int byte = 0; byte <= 0xFF; ++byte) {
            const Converted converted =
                ConvertToUtf8(*Charset::Find(name), std::string(1, static_cast<char>(byte)));
            std::string expected;
            const bool accepted = IconvToUtf8(descriptor, static_cast<char>(byte), expected);
            EXPECT_EQ(converted.text, accepted ? expected : "\xEF\xBF\xBD") << name << " " << byte;
            EXPECT_EQ(converted.problem.badBytes, accepted ? 0u : 1u) << name << " " << byte;
        }
        iconv_close(descriptor);
    }
}

}  // namespace

#else

TEST(CharsetIconv, EveryByteOfEveryCharsetConvertsAsIconvConvertsIt) {
    GTEST_SKIP() << "GNU libc's iconv is on Linux only";
}

#endif
