// The messages about records: held back until a record reads well, then
// listed as usual; replaced by one line when no record of the range reads.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "export/Messages.hpp"

namespace {

// What `messages` wrote into `stream` so far.
std::string Written(std::FILE* stream) {
    std::string text(static_cast<std::size_t>(std::ftell(stream)), '\0');
    std::rewind(stream);
    text.resize(std::fread(text.data(), 1, text.size(), stream));
    return text;
}

void SayUnreadable(Messages& messages, std::int32_t mfn) {
    messages.AboutRecord(MessageKind::PastEndOfMaster, mfn,
                         [mfn] { return "MFN " + std::to_string(mfn) + ": lost"; });
    messages.RecordRead(false);
}

TEST(Messages, HeldUntilARecordReadsWellThenListed) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    Messages messages(stream, "ths.mst", "ths.xrf");
    for (std::int32_t mfn = 1; mfn <= 9; ++mfn) {
        SayUnreadable(messages, mfn);
    }
    EXPECT_EQ(Written(stream), "");
    EXPECT_FALSE(messages.AnyRecordReadable());
    messages.RecordRead(true);
    EXPECT_TRUE(messages.AnyRecordReadable());
    SayUnreadable(messages, 11);
    messages.Finish();
    std::string expected;
    for (int mfn : {1, 2, 3, 4, 5, 6, 7, 8, 9, 11}) {
        expected += "mstexport: MFN " + std::to_string(mfn) + ": lost\n";
    }
    EXPECT_EQ(Written(stream), expected);
    EXPECT_TRUE(messages.Any());
    std::fclose(stream);
}

TEST(Messages, NoRecordReadableIsOneLineOnlyWhenThereAreEnough) {
    for (const std::int32_t records : {7, 8}) {
        std::FILE* stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        Messages messages(stream, "ths.mst", "ths.xrf");
        for (std::int32_t mfn = 1; mfn <= records; ++mfn) {
            SayUnreadable(messages, mfn);
        }
        messages.Finish();
        EXPECT_FALSE(messages.AnyRecordReadable());
        const std::string written = Written(stream);
        if (records < Messages::kFewestUnreadable) {
            EXPECT_EQ(written.find("mstexport: MFN 1: lost\n"), 0u) << written;
            EXPECT_EQ(written.find("none of"), std::string::npos) << written;
        } else {
            EXPECT_EQ(written.find("mstexport: ths.mst: none of the 8 records that ths.xrf "
                                   "locates can be read: "),
                      0u)
                << written;
            EXPECT_NE(written.find("\nmstexport: ths.mst: 8 records that reach past the end of "
                                   "the file (MFN 1 to 8)\n"),
                      std::string::npos)
                << written;
            EXPECT_EQ(written.find("MFN 1: lost"), std::string::npos) << written;
        }
        std::fclose(stream);
    }
}

}  // namespace
