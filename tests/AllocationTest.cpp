// What a damaged leader can make the export allocate. Its own program,
// because it counts every operator new through a replacement.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "DatabaseWriter.hpp"
#include "TempDir.hpp"
#include "export/Export.hpp"

namespace {
std::atomic<std::size_t> requestedBytes{0};
}  // namespace

void* operator new(std::size_t size) {
    requestedBytes += size;
    if (void* memory = std::malloc(size != 0 ? size : 1)) {
        return memory;
    }
    throw std::bad_alloc();
}
// GCC takes free() in a replacement operator delete for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    ::operator delete(memory);
}

namespace {

std::size_t BytesRequestedByExport(const DatabaseWriter& db) {
    TempDir dir;
    db.WriteTo(dir.path());
    const std::string master = (dir.path() / "ths.mst").string();
    const std::string crossRef = (dir.path() / "ths.xrf").string();
    const std::string output = (dir.path() / "formatirani_izlaz.txt").string();
    std::FILE* messages = std::fopen((dir.path() / "messages").string().c_str(), "w+b");
    EXPECT_NE(messages, nullptr);
    const std::size_t before = requestedBytes;
    ExportDatabase({master.c_str(), crossRef.c_str(), output.c_str()}, messages);
    const std::size_t requested = requestedBytes - before;
    std::fclose(messages);
    return requested;
}

// A short record whose leader claims up to 32,767 directory entries or data
// bytes costs no more memory than a sound record of the same length.
TEST(AllocationTest, LeaderClaimsBeyondTheFileCostNothing) {
    struct Claim {
        std::int32_t mfrl, base, nvf;
    };
    const Claim claims[] = {
        {32767, 32767, 32767},         // 32,767 entries, inconsistent
        {32767, 18 + 6 * 5458, 5458},  // as many entries as a record can hold
        {32767, 18, 0},                // a data area of 32,749 bytes
        {-1, 18 + 6 * 32767, 32767},   // every number at its limit
    };
    const std::string data(24, 'd');
    DatabaseWriter sound;
    sound.Add({{{1, "first"}}});
    sound.AddRaw(RawRecord(18 + 24, 18, 0, {}, data));
    sound.Add({{{2, "last"}}});
    const std::size_t soundBytes = BytesRequestedByExport(sound);
    for (const Claim& claim : claims) {
        DatabaseWriter claiming;
        claiming.Add({{{1, "first"}}});
        claiming.AddRaw(RawRecord(claim.mfrl, claim.base, claim.nvf, {}, data));
        claiming.Add({{{2, "last"}}});
        // The message about the record is all the extra a claim may cost.
        EXPECT_LT(BytesRequestedByExport(claiming), soundBytes + 2048)
            << "MFRL " << claim.mfrl << ", BASE " << claim.base << ", NVF " << claim.nvf;
    }
}

}  // namespace
