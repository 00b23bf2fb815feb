// The watch for terminator bytes in ISO 2709 values: it never misses one, at
// any place in a value of any length, and bytes past a value's end, which it
// reads, do not count.
#include <gtest/gtest.h>

#include <string>

#include "export/FastWriting.hpp"

namespace {

// Whether a watch for 0x1E and 0x1D, copying or not, reports the first
// `length` bytes of `buffer`, which has room for the blocks read past them.
bool Reported(const std::string& buffer, std::size_t length, bool copy) {
    fast::ByteWatch watch(0x1E, 0x1D);
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
    if (copy) {
        std::string out(buffer.size() + 64, '\0');
        watch.Copy(out.data(), bytes, length);
        EXPECT_EQ(out.substr(0, length), buffer.substr(0, length));
    } else {
        watch.Add(bytes, length);
    }
    return watch.MayHold();
}

TEST(ByteWatch, FindsEveryPlaceAndIgnoresWhatLiesPastTheEnd) {
    for (const bool copy : {false, true}) {
        for (std::size_t length = 0; length <= 70; ++length) {
            for (const char byte : {'\x1e', '\x1d'}) {
                for (std::size_t at = 0; at < length + 40; ++at) {
                    std::string buffer(length + 40 + 64, 'v');
                    buffer[at] = byte;
                    EXPECT_EQ(Reported(buffer, length, copy), at < length)
                        << "length " << length << ", at " << at << (copy ? ", copied" : "");
                }
            }
        }
    }
}

}  // namespace
