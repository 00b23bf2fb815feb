#include "MasterFileReader.hpp"

#include <limits>

namespace {

void SetFault(RecordFault* fault, RecordFault value) {
    if (fault != nullptr) {
        *fault = value;
    }
}

}  // namespace

int MasterFileReader::ReadControlRecord() {
    if (master == nullptr || crossRef == nullptr || master->Size() < layout::kControlRecordSize) {
        return -1;
    }
    unsigned char bytes[layout::kControlRecordSize];
    master->Seek(0);
    if (master->Read(bytes, sizeof bytes) != sizeof bytes) {
        return -1;
    }
    controlRecord.CTLMFN = layout::DecodeInt32(bytes);
    controlRecord.NXTMFN = layout::DecodeInt32(bytes + 4);
    controlRecord.NXTMFB = layout::DecodeInt32(bytes + 8);
    controlRecord.NXTMFP = layout::DecodeInt16(bytes + 12);
    controlRecord.MFTYPE = layout::DecodeInt16(bytes + 14);
    // NXTMFN - 1 does not fit for the smallest NXTMFN; no MFN is valid then either.
    lastMfn = controlRecord.NXTMFN == std::numeric_limits<std::int32_t>::min()
                  ? controlRecord.NXTMFN
                  : controlRecord.NXTMFN - 1;
    return 0;
}

int MasterFileReader::ReadLeader(std::int32_t mfn, RecordLeader* leader, RecordFault* fault) {
    if (!StreamsAndMfnValid(mfn) || leader == nullptr) {
        return -1;
    }
    RecordFault why = RecordFault::None;
    RecordLeader read;
    const auto start = LocateRecord(mfn, why);
    if (start && ReadLeaderAt(*start, read, why) == 0) {
        why = RecordFault::PastEndOfMaster;
    }
    SetFault(fault, why);
    if (!start || why == RecordFault::PastEndOfMaster) {
        return -1;
    }
    *leader = read;
    return 0;
}

int MasterFileReader::ReadFields(std::int32_t mfn, DirectoryEntry* directory, std::int32_t count,
                                 unsigned char* data, std::int32_t dataLength, RecordFault* fault) {
    if (!StreamsAndMfnValid(mfn) || directory == nullptr || data == nullptr) {
        return -1;
    }
    RecordFault why = RecordFault::None;
    RecordLeader leader;
    std::int64_t fieldsStart = 0;
    const auto start = LocateRecord(mfn, why);
    if (start) {
        const std::int32_t leaderSize = ReadLeaderAt(*start, leader, why);
        const std::int64_t entries = count > 0 ? count : 0;
        const std::int64_t length = dataLength > 0 ? dataLength : 0;
        fieldsStart = *start + leaderSize;
        if (leaderSize == 0 ||
            fieldsStart + entries * layout::kDirectoryEntrySize + length > master->Size()) {
            why = RecordFault::PastEndOfMaster;
        }
    }
    SetFault(fault, why);
    if (!start || why == RecordFault::PastEndOfMaster) {
        return -1;
    }

    master->Seek(fieldsStart);
    for (std::int32_t i = 0; i < count; ++i) {
        unsigned char bytes[layout::kDirectoryEntrySize];
        if (master->Read(bytes, sizeof bytes) != sizeof bytes) {
            SetFault(fault, RecordFault::PastEndOfMaster);
            return -1;
        }
        directory[i].TAG = layout::DecodeInt16(bytes);
        directory[i].POS = layout::DecodeInt16(bytes + 2);
        directory[i].LEN = layout::DecodeInt16(bytes + 4);
    }
    const std::size_t length = dataLength > 0 ? static_cast<std::size_t>(dataLength) : 0;
    if (master->Read(data, length) != length) {
        SetFault(fault, RecordFault::PastEndOfMaster);
        return -1;
    }
    data[length] = 0;
    return 0;
}
