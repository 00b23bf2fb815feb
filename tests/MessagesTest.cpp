// The messages about records: held back until a record reads well, then
// listed as usual; replaced by one line when not one of 8 or more records
// reads. The end-to-end tests show the lines; these, the threshold and the
// query the run asks at the end.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ListSource.hpp"
#include "export/Messages.hpp"

namespace {

// What `stream` holds.
std::string Written(std::FILE* stream) {
    std::string text(static_cast<std::size_t>(std::ftell(stream)), '\0');
    std::rewind(stream);
    text.resize(std::fread(text.data(), 1, text.size(), stream));
    return text;
}

// The message about MFN `mfn`, 1 to 9: every one as long as the others.
std::string Lost(std::int32_t mfn) {
    return "mstexport: ths.mst: MFN " + std::to_string(mfn) +
           ": the record reaches past the end of the file; exported without fields\n";
}

TEST(Messages, HeldUntilARecordReadsAndReplacedWhenNoneOfEightDoes) {
    for (const int unreadable : {7, 8, 9}) {
        std::FILE* stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        const ListSource source("ths.mst", {});
        Messages messages(stream, source.Name());
        for (std::int32_t mfn = 1; mfn <= unreadable; ++mfn) {
            messages.Report({ProblemKind::PastEndOfMaster, mfn});
            messages.RecordRead(false);
        }
        EXPECT_EQ(Written(stream), "");
        const bool oneReads = unreadable == 9;
        if (oneReads) {
            messages.RecordRead(true);
            EXPECT_EQ(Written(stream).rfind(Lost(9)), Lost(1).size() * 8);
        }
        messages.Finish(source);
        EXPECT_EQ(messages.AnyRecordReadable(), oneReads);
        const std::string written = Written(stream);
        const bool replaced = written.find(
                                  "mstexport: ths.mst: none of its 8 records can be "
                                  "read\n") == 0;
        EXPECT_EQ(replaced, unreadable == 8) << written;
        EXPECT_EQ(written.find(Lost(1)) == 0, unreadable != 8) << written;
        std::fclose(stream);
    }
}

}  // namespace
