#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "export/TextBuffer.hpp"

namespace {

std::string Text(const TextBuffer& buffer) {
    return std::string(buffer.Data(), buffer.Size());
}

TEST(TextBuffer, KeepsWhatWasWrittenWhileItGrows) {
    TextBuffer buffer(4);
    std::string expected;
    for (int i = 0; i < 200; ++i) {
        const std::string piece = std::to_string(i) + ",";
        if (i % 2 == 0) {
            buffer.Append(piece.data(), piece.size());
        } else {
            // More room than is written, as the record text asks for.
            char* out = buffer.Room(piece.size() + 100);
            std::memcpy(out, piece.data(), piece.size());
            buffer.Extend(out + piece.size());
        }
        expected += piece;
    }
    EXPECT_EQ(Text(buffer), expected);
}

TEST(TextBuffer, RoomLeftUnwrittenIsNotText) {
    TextBuffer buffer;
    buffer.Append("ab", 2);
    char* out = buffer.Room(1000);
    out[0] = 'c';
    buffer.Extend(out + 1);
    EXPECT_EQ(Text(buffer), "abc");
    buffer.Clear();
    EXPECT_EQ(buffer.Size(), 0u);
    buffer.Append("z", 1);
    EXPECT_EQ(Text(buffer), "z");
}

}  // namespace
