#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "DatabaseWriter.hpp"
#include "TempDir.hpp"
#include "platform/InputFile.hpp"

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

    // The bytes of a view as text, or "<none>" for no view.
    static std::string Shown(const unsigned char* bytes, std::size_t count) {
        return bytes != nullptr ? std::string(reinterpret_cast<const char*>(bytes), count)
                                : std::string("<none>");
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

TEST_F(InputFileTest, ReadsTheRightBytesInAnyOrder) {
    // Forward, backward, and forward with jumps far ahead and back, as records
    // stored out of MFN order make the reader go.
    InputFile file(64);
    std::string reason;
    ASSERT_TRUE(file.Open(path_.c_str(), reason));
    for (std::int64_t at = 0; at + 9 <= 1000; at += 9) {
        ASSERT_EQ(ReadAt(file, at, 9), content_.substr(at, 9)) << at;
    }
    for (std::int64_t at = 991; at >= 0; at -= 9) {
        ASSERT_EQ(ReadAt(file, at, 9), content_.substr(at, 9)) << at;
    }
    for (std::int64_t at = 0; at + 5 <= 600; at += 5) {
        ASSERT_EQ(ReadAt(file, at, 5), content_.substr(at, 5)) << at;
        const std::int64_t far = 990 - at;
        ASSERT_EQ(ReadAt(file, far, 10), content_.substr(far, 10)) << far;
    }
}

TEST_F(InputFileTest, ViewsShowTheFileWhereverTheyAre) {
    InputFile file(64);
    std::string reason;
    ASSERT_TRUE(file.Open(path_.c_str(), reason));
    auto view = [&file](std::int64_t at, std::size_t count) {
        return Shown(file.View(at, count), count);
    };
    EXPECT_EQ(view(0, 64), content_.substr(0, 64));  // the whole buffer
    EXPECT_EQ(view(60, 30), content_.substr(60, 30));
    EXPECT_EQ(view(900, 20), content_.substr(900, 20));
    EXPECT_EQ(view(70, 20), content_.substr(70, 20));
    EXPECT_EQ(view(10, 5), content_.substr(10, 5));
    EXPECT_EQ(view(980, 20), content_.substr(980, 20));
    EXPECT_EQ(view(990, 20), "<none>");  // past the end
    EXPECT_EQ(view(1000, 1), "<none>");
    EXPECT_EQ(view(-1, 1), "<none>");
    EXPECT_EQ(view(0, 65), "<none>");  // larger than the buffer
    // A view leaves the position where it was.
    file.Seek(100);
    view(500, 10);
    char bytes[4];
    ASSERT_EQ(file.Read(bytes, 4), 4u);
    EXPECT_EQ(std::string(bytes, 4), content_.substr(100, 4));
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

namespace {

// Positions past 2 GiB, which a 32-bit long cannot hold. The file is sparse
// where the system allows it, so it costs no disk space there.
TEST(InputFileLargeTest, ReadsPastTwoGibibytes) {
    TempDir dir;
    const auto path = dir.path() / "large.bin";
    const std::int64_t tailAt = (std::int64_t{1} << 32) + 1000;
    {
        std::ofstream out(path, std::ios::binary);
        out.seekp(static_cast<std::streamoff>(tailAt));
        out << "tail";
        ASSERT_TRUE(out.good());
    }
    InputFile file;
    std::string reason;
    ASSERT_TRUE(file.Open(path.string().c_str(), reason)) << reason;
    EXPECT_EQ(file.Size(), tailAt + 4);
    const unsigned char* tail = file.View(tailAt, 4);
    ASSERT_NE(tail, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(tail), 4), "tail");
}

}  // namespace
