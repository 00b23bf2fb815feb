#include <gtest/gtest.h>

#include <string>

#include "DatabaseWriter.hpp"
#include "TempDir.hpp"
#include "masterfile/InputFile.hpp"

namespace {

class InputFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < 1000; ++i) {
            content_ += static_cast<char>(i * 7 % 251);
        }
        path_ = (dir_.path() / "data.bin").string();
        WriteFile(path_, content_);
    }

    std::string ReadAt(InputFile& file, std::int64_t position, std::size_t count) {
        std::string bytes(count, '\0');
        file.Seek(position);
        bytes.resize(file.Read(bytes.data(), count));
        return bytes;
    }

    TempDir dir_;
    std::string path_;
    std::string content_;
};

TEST_F(InputFileTest, ReadsAnyRangeWhateverTheBufferHolds) {
    // A 16-byte buffer makes reads cross, precede and exceed it.
    InputFile file(16);
    std::string reason;
    ASSERT_TRUE(file.Open(path_.c_str(), reason)) << reason;
    EXPECT_EQ(file.Size(), 1000);
    EXPECT_EQ(ReadAt(file, 0, 10), content_.substr(0, 10));
    EXPECT_EQ(ReadAt(file, 10, 10), content_.substr(10, 10));      // crosses the buffer's end
    EXPECT_EQ(ReadAt(file, 500, 100), content_.substr(500, 100));  // larger than the buffer
    EXPECT_EQ(ReadAt(file, 3, 5), content_.substr(3, 5));          // backwards
    EXPECT_EQ(ReadAt(file, 999, 1), content_.substr(999, 1));
}

TEST_F(InputFileTest, SuccessiveReadsContinueWhereTheLastEnded) {
    InputFile file(16);
    std::string reason;
    ASSERT_TRUE(file.Open(path_.c_str(), reason));
    file.Seek(5);
    std::string joined;
    for (int i = 0; i < 50; ++i) {
        char bytes[7];
        ASSERT_EQ(file.Read(bytes, sizeof bytes), sizeof bytes);
        joined.append(bytes, sizeof bytes);
    }
    EXPECT_EQ(joined, content_.substr(5, 350));
}

TEST_F(InputFileTest, ReadsAreShortAtTheEndOfTheFile) {
    InputFile file(64);
    std::string reason;
    ASSERT_TRUE(file.Open(path_.c_str(), reason));
    EXPECT_EQ(ReadAt(file, 990, 20), content_.substr(990));
    EXPECT_EQ(ReadAt(file, 1000, 4), "");
    EXPECT_EQ(ReadAt(file, 5000, 4), "");
    EXPECT_EQ(ReadAt(file, -8, 4), "");
    // and the file still reads normally afterwards
    EXPECT_EQ(ReadAt(file, 100, 30), content_.substr(100, 30));
}

TEST_F(InputFileTest, EmptyFileOpens) {
    const auto empty = (dir_.path() / "empty").string();
    WriteFile(empty, "");
    InputFile file;
    std::string reason;
    ASSERT_TRUE(file.Open(empty.c_str(), reason));
    EXPECT_EQ(file.Size(), 0);
    EXPECT_EQ(ReadAt(file, 0, 1), "");
}

TEST_F(InputFileTest, MissingOrUnreadableFileGivesTheReason) {
    InputFile file;
    std::string reason;
    const auto missing = (dir_.path() / "missing").string();
    EXPECT_FALSE(file.Open(missing.c_str(), reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(file.IsOpen());

    reason.clear();
    EXPECT_FALSE(file.Open(dir_.path().string().c_str(), reason));  // a directory
    EXPECT_FALSE(reason.empty());
}

}  // namespace
