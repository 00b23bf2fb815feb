#include "IsoLeader.hpp"

namespace {

// A directory's terminator and a record's: the least a record holds besides
// its leader.
constexpr std::size_t kShortestRecord = IsoLeader::kSize + 2;

}  // namespace

const char* ReadLeader(const unsigned char* bytes, IsoLeader& leader) {
    IsoLeader read;
    std::size_t indicators = 0;
    std::size_t subfieldCode = 0;
    if (!ReadDigits(bytes, 5, read.recordLength)) {
        return "its first 5 bytes are not the digits of a record length";
    }
    if (!ReadDigits(bytes + 10, 1, indicators) || !ReadDigits(bytes + 11, 1, subfieldCode)) {
        return "its indicator count or subfield code length (leader bytes 10 and 11) is not a "
               "digit";
    }
    if (!ReadDigits(bytes + 12, 5, read.baseAddress)) {
        return "its base address (leader bytes 12 to 16) is not 5 digits";
    }
    if (!ReadDigits(bytes + 20, 1, read.lengthDigits) ||
        !ReadDigits(bytes + 21, 1, read.startDigits) ||
        !ReadDigits(bytes + 22, 1, read.implementationBytes)) {
        return "its directory entry map (leader bytes 20 to 22) is not 3 digits";
    }
    if (read.lengthDigits == 0 || read.startDigits == 0) {
        return "its directory entry map gives a field's length or start no digits";
    }
    if (read.recordLength < kShortestRecord) {
        return "its record length is shorter than a leader and two terminators";
    }
    if (read.baseAddress <= IsoLeader::kSize || read.baseAddress >= read.recordLength) {
        return "its base address does not lie between the leader and the record's end";
    }
    // The usual entry size is divided by as a constant, which needs no
    // division instruction.
    const std::size_t entrySize = read.EntrySize();
    const std::size_t directory = read.baseAddress - IsoLeader::kSize - 1;
    read.entryCount = entrySize == IsoLeader::kUsualEntrySize
                          ? directory / IsoLeader::kUsualEntrySize
                          : directory / entrySize;
    if (read.entryCount * entrySize != directory) {
        return "its base address leaves room for no whole number of directory entries";
    }
    read.indicatorCount = static_cast<int>(indicators);
    read.subfieldCodeLength = static_cast<int>(subfieldCode);
    leader = read;
    return nullptr;
}
