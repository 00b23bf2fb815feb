#include "MasterFileReader.hpp"

#include <cstring>
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

std::optional<std::int64_t> MasterFileReader::LocateRecord(std::int32_t mfn, RecordFault& fault,
                                                           std::uint32_t* pointer) {
    unsigned char bytes[layout::kPointerSize];
    crossRef->Seek(layout::PointerPosition(mfn));
    if (crossRef->Read(bytes, sizeof bytes) != sizeof bytes) {
        fault = RecordFault::PointerMissing;
        return std::nullopt;
    }
    const std::uint32_t value = layout::DecodeUint32(bytes);
    if (pointer != nullptr) {
        *pointer = value;
    }
    const layout::PointerTarget target = layout::DecodePointer(value);
    switch (target.kind) {
        case layout::PointerKind::Record:
            return target.position;
        case layout::PointerKind::NoBlock:
            fault = RecordFault::PointerWithoutBlock;
            return std::nullopt;
        case layout::PointerKind::NeverWritten:
        case layout::PointerKind::Deleted:
            break;
    }
    fault = RecordFault::NotStored;
    return std::nullopt;
}

bool MasterFileReader::LeaderFitsRecord(std::int32_t mfn, std::int64_t start,
                                        const RecordLeader& leader, std::int32_t leaderSize) {
    if (leader.MFN != mfn || start + leader.MFRL > master->Size()) {
        return false;
    }
    const unsigned char* record = master->View(start, static_cast<std::size_t>(leader.MFRL));
    if (record == nullptr) {
        return false;
    }
    const std::int32_t dataLength = leader.MFRL - leader.BASE;
    for (std::int32_t i = 0; i < leader.NVF; ++i) {
        const unsigned char* entry = record + leaderSize + layout::kDirectoryEntrySize * i;
        const std::int32_t pos = layout::DecodeInt16(entry + 2);
        const std::int32_t len = layout::DecodeInt16(entry + 4);
        if (pos < 0 || len < 0 || pos + len > dataLength) {
            return false;
        }
    }
    return true;
}

std::int32_t MasterFileReader::ReadLeaderAt(std::int32_t mfn, std::int64_t start,
                                            RecordLeader& leader, RecordFault& fault) {
    const std::int64_t available = master->Size() - start;
    if (available < layout::kLeaderSize) {
        return 0;
    }
    const std::size_t wanted =
        available >= layout::kAlignedLeaderSize ? layout::kAlignedLeaderSize : layout::kLeaderSize;
    const unsigned char* bytes = master->View(start, wanted);
    if (bytes == nullptr) {
        return 0;
    }
    const RecordLeader standard = layout::DecodeLeader(bytes);
    const bool standardFits = layout::LeaderIsConsistent(standard, layout::kLeaderSize);
    // Read as 18 bytes, an aligned leader's BASE and NVF are this reading's
    // NVF and STATUS: the aligned reading can only be consistent when those
    // agree, which spares decoding it for nearly every record.
    if (wanted == layout::kAlignedLeaderSize &&
        standard.NVF ==
            layout::kAlignedLeaderSize + layout::kDirectoryEntrySize * standard.STATUS) {
        const RecordLeader aligned = layout::DecodeLeader(bytes, layout::kAlignedLeaderSize);
        const bool alignedFits = layout::LeaderIsConsistent(aligned, layout::kAlignedLeaderSize) &&
                                 start + aligned.MFRL <= master->Size();
        // Both readings can be consistent, for example when an aligned
        // record's back pointer happens to look like an 18-byte BASE. The
        // record's own MFN and directory then tell; the checks below read the
        // record again, which only such rare records pay for.
        if (alignedFits && (!standardFits ||
                            (!LeaderFitsRecord(mfn, start, standard, layout::kLeaderSize) &&
                             LeaderFitsRecord(mfn, start, aligned, layout::kAlignedLeaderSize)))) {
            leader = aligned;
            return layout::kAlignedLeaderSize;
        }
    }
    leader = standard;
    if (!standardFits) {
        fault = RecordFault::InconsistentLeader;
    }
    return layout::kLeaderSize;
}

int MasterFileReader::ReadLeader(std::int32_t mfn, RecordLeader* leader, RecordFault* fault) {
    if (!StreamsAndMfnValid(mfn) || leader == nullptr) {
        return -1;
    }
    RecordFault why = RecordFault::None;
    RecordLeader read;
    const auto start = LocateRecord(mfn, why);
    if (start && ReadLeaderAt(mfn, *start, read, why) == 0) {
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
        const std::int32_t leaderSize = ReadLeaderAt(mfn, *start, leader, why);
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

bool MasterFileReader::ReadRecord(std::int32_t mfn, RecordFields& record, ProblemSink* problems) {
    if (!StreamsAndMfnValid(mfn)) {
        return false;
    }
    record.mfn = mfn;
    record.fields.clear();
    record.state = RecordFields::State::Unreadable;
    auto report = [problems](const RecordProblem& problem) {
        if (problems != nullptr) {
            problems->Report(problem);
        }
    };
    auto reportLeader = [&report](RecordProblem::Kind kind, const RecordLeader& leader) {
        RecordProblem problem{kind};
        problem.mfrl = leader.MFRL;
        problem.base = leader.BASE;
        problem.nvf = leader.NVF;
        report(problem);
    };

    // The record is found once, and read straight from the master file's
    // buffer: leader, directory and data area are all in one view.
    RecordFault fault = RecordFault::None;
    std::uint32_t pointer = 0;
    const auto start = LocateRecord(mfn, fault, &pointer);
    if (!start) {
        switch (fault) {
            case RecordFault::PointerMissing:
                report({RecordProblem::Kind::PointerMissing});
                break;
            case RecordFault::PointerWithoutBlock: {
                RecordProblem problem{RecordProblem::Kind::PointerWithoutBlock};
                problem.pointer = pointer;
                report(problem);
                break;
            }
            default:
                record.state = RecordFields::State::NotStored;
                break;
        }
        return true;
    }
    RecordLeader leader;
    const std::int32_t leaderSize = ReadLeaderAt(mfn, *start, leader, fault);
    if (leaderSize == 0) {
        report({RecordProblem::Kind::PastEndOfMaster});
        return true;
    }
    if (fault == RecordFault::InconsistentLeader) {
        reportLeader(RecordProblem::Kind::InconsistentLeader, leader);
        return true;
    }
    const unsigned char* bytes = *start + leader.MFRL <= master->Size()
                                     ? master->View(*start, static_cast<std::size_t>(leader.MFRL))
                                     : nullptr;
    if (bytes == nullptr) {
        reportLeader(RecordProblem::Kind::PastEndOfMaster, leader);
        return true;
    }
    record.state = RecordFields::State::Stored;
    const unsigned char* directory = bytes + leaderSize;
    const unsigned char* data = bytes + leader.BASE;
    const std::int32_t dataLength = leader.MFRL - leader.BASE;
    // Zero bytes are rare: one search of the whole data area usually spares
    // one search for each value.
    const bool dataHasZero = std::memchr(data, 0, static_cast<std::size_t>(dataLength)) != nullptr;
    for (std::int32_t i = 0; i < leader.NVF; ++i) {
        const unsigned char* entry = directory + layout::kDirectoryEntrySize * i;
        const std::int32_t tag = layout::DecodeInt16(entry);
        const std::int32_t pos = layout::DecodeInt16(entry + 2);
        const std::int32_t len = layout::DecodeInt16(entry + 4);
        if (pos < 0 || len < 0 || pos + len > dataLength) {
            RecordProblem problem{RecordProblem::Kind::EntryOutsideData};
            problem.mfrl = leader.MFRL;
            problem.base = leader.BASE;
            problem.nvf = leader.NVF;
            problem.tag = tag;
            problem.pos = pos;
            problem.len = len;
            report(problem);
            continue;
        }
        // A value ends at its first zero byte.
        const unsigned char* value = data + pos;
        const void* zero =
            dataHasZero ? std::memchr(value, 0, static_cast<std::size_t>(len)) : nullptr;
        const std::size_t length =
            zero != nullptr
                ? static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - value)
                : static_cast<std::size_t>(len);
        record.fields.push_back({tag, value, length});
    }
    return true;
}
