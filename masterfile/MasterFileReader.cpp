#include "MasterFileReader.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "DirectoryEntries.hpp"
#include "LayoutDecision.hpp"
#include "RecordFit.hpp"

using layout::ByteOrder;
using layout::EntryShape;
using layout::LeaderShape;
using layout::RecordFormat;
using layout::WideEntry;
using layout::WideLeader;

namespace {

void SetFault(RecordFault* fault, RecordFault value) {
    if (fault != nullptr) {
        *fault = value;
    }
}

bool FitsInt16(std::int32_t value) {
    return value >= std::numeric_limits<std::int16_t>::min() &&
           value <= std::numeric_limits<std::int16_t>::max();
}

RecordProblem LeaderProblem(ProblemKind kind, const WideLeader& leader, const LeaderShape& shape) {
    RecordProblem problem{kind};
    problem.mfrl = leader.MFRL;
    problem.base = leader.BASE;
    problem.nvf = leader.NVF;
    problem.dataLength = layout::RecordLength(leader.MFRL) - leader.BASE;
    problem.leaderSize = shape.size;
    return problem;
}

// Appends to `record` the value of every entry of the directory at
// `directory` that lies inside the data area at `data`.
template <ByteOrder order, RecordFormat format>
void AppendFields(const unsigned char* directory, const unsigned char* data,
                  const WideLeader& leader, const LeaderShape& shape, RecordFields& record,
                  ProblemSink* problems) {
    constexpr const EntryShape& entryShape = layout::EntryShapeOf(format);
    const std::int64_t dataLength = layout::RecordLength(leader.MFRL) - leader.BASE;
    // Zero bytes are rare: one search of the whole data area usually spares
    // one search for each value.
    const bool dataHasZero = std::memchr(data, 0, static_cast<std::size_t>(dataLength)) != nullptr;
    for (std::int32_t i = 0; i < leader.NVF; ++i) {
        const WideEntry entry =
            layout::DecodeEntry<order>(directory + entryShape.size * i, entryShape);
        if (!layout::EntryInsideData(entry, dataLength)) {
            RecordProblem problem = LeaderProblem(ProblemKind::EntryOutsideData, leader, shape);
            problem.tag = entry.TAG;
            problem.pos = entry.POS;
            problem.len = entry.LEN;
            ReportProblem(record, problem, problems);
            continue;
        }
        // A value ends at its first zero byte.
        const unsigned char* value = data + entry.POS;
        const auto storedLength = static_cast<std::size_t>(entry.LEN);
        const void* zero = dataHasZero ? std::memchr(value, 0, storedLength) : nullptr;
        const std::size_t length =
            zero != nullptr
                ? static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - value)
                : storedLength;
        record.fields.push_back({entry.TAG, value, length});
        record.valueBytes += length;
    }
}

}  // namespace

int MasterFileReader::ReadControlRecord() {
    if (master == nullptr || crossRef == nullptr || master->Size() < layout::kControlRecordSize) {
        return -1;
    }
    // Copied: deciding the layout reads other parts of the file.
    unsigned char bytes[layout::kControlRecordSize];
    const unsigned char* view = master->View(0, sizeof bytes);
    if (view == nullptr) {
        return -1;
    }
    std::memcpy(bytes, view, sizeof bytes);
    layout_ = DecideLayout(bytes, *master, *crossRef);
    const ByteOrder order = layout_.order;
    controlRecord.CTLMFN = layout::Int32(bytes, order);
    controlRecord.NXTMFN = layout::Int32(bytes + 4, order);
    controlRecord.NXTMFB = layout::Int32(bytes + 8, order);
    controlRecord.NXTMFP = layout::Int16(bytes + 12, order);
    controlRecord.MFTYPE = layout::Int16(bytes + 14, order);
    // NXTMFN - 1 does not fit for the smallest NXTMFN; no MFN is valid then either.
    lastMfn = controlRecord.NXTMFN == std::numeric_limits<std::int32_t>::min()
                  ? controlRecord.NXTMFN
                  : controlRecord.NXTMFN - 1;
    return 0;
}

template <ByteOrder order>
inline bool MasterFileReader::LocateRecordIn(std::int32_t mfn, layout::PointerTarget& target,
                                             std::uint32_t& pointer) {
    const unsigned char* bytes = crossRef->View(layout::PointerPosition(mfn), layout::kPointerSize);
    if (bytes == nullptr) {
        return false;
    }
    pointer = layout::Uint32<order>(bytes);
    target = layout::DecodePointer(pointer, layout_.pointerShift);
    return true;
}

template <ByteOrder order>
std::optional<ProblemKind> MasterFileReader::ReadLeaderIn(std::int32_t mfn, std::int64_t start,
                                                          LeaderReading& reading) {
    const std::int64_t available = master->Size() - start;
    if (layout_.format != RecordFormat::Standard) {
        const LeaderShape& shape = layout::FfiLeaderShapeOf(layout_.format);
        if (available < shape.size) {
            return ProblemKind::PastEndOfMaster;
        }
        const unsigned char* bytes = master->View(start, static_cast<std::size_t>(shape.size));
        if (bytes == nullptr) {
            return ProblemKind::ReadError;
        }
        reading.leader = layout::DecodeLeader<order>(bytes, shape);
        reading.shape = &shape;
        reading.consistent = layout::LeaderIsConsistent(reading.leader, shape,
                                                        layout::EntryShapeOf(layout_.format).size);
        return std::nullopt;
    }

    if (available < layout::kLeaderSize) {
        return ProblemKind::PastEndOfMaster;
    }
    const std::size_t wanted =
        available >= layout::kAlignedLeaderSize ? layout::kAlignedLeaderSize : layout::kLeaderSize;
    const unsigned char* bytes = master->View(start, wanted);
    if (bytes == nullptr) {
        return ProblemKind::ReadError;
    }
    const WideLeader standard = layout::DecodeLeader<order>(bytes, layout::kStandardLeader);
    const bool standardFits =
        layout::LeaderIsConsistent(standard, layout::kStandardLeader, layout::kDirectoryEntrySize);
    reading = {standard, &layout::kStandardLeader, standardFits};
    // Read as 18 bytes, an aligned leader's BASE and NVF are this reading's
    // NVF and STATUS: the aligned reading can only be consistent when those
    // agree, which spares decoding it for nearly every record.
    if (standard.NVF !=
        layout::kAlignedLeaderSize + layout::kDirectoryEntrySize * standard.STATUS) {
        return std::nullopt;
    }
    // Both readings share MFRL.
    const bool pastEnd = start + layout::RecordLength(standard.MFRL) > master->Size();
    if (wanted == layout::kLeaderSize) {
        // The file ends inside an aligned leader, before its STATUS; the
        // rest of it tells whether it is consistent.
        const bool alignedConsistent =
            standard.STATUS >= 0 && layout::RecordLength(standard.MFRL) >= standard.NVF;
        return !standardFits && alignedConsistent ? std::optional(ProblemKind::PastEndOfMaster)
                                                  : std::nullopt;
    }
    const WideLeader aligned = layout::DecodeLeader<order>(bytes, layout::kAlignedLeader);
    if (!layout::LeaderIsConsistent(aligned, layout::kAlignedLeader, layout::kDirectoryEntrySize)) {
        return std::nullopt;
    }
    if (pastEnd) {
        return standardFits ? std::nullopt : std::optional(ProblemKind::PastEndOfMaster);
    }
    // Both readings can be consistent, for example when an aligned record's
    // back pointer happens to look like an 18-byte BASE. The record's own
    // MFN and directory then tell; the checks below read the record again,
    // which only such rare records pay for.
    if (ValuesFillDataArea(*master, start, aligned, layout::kAlignedLeader, layout::kStandardEntry,
                           order) &&
        (!standardFits || (!RecordFits(*master, mfn, start, layout::kStandardLeader,
                                       layout::kStandardEntry, order) &&
                           RecordFits(*master, mfn, start, layout::kAlignedLeader,
                                      layout::kStandardEntry, order)))) {
        reading = {aligned, &layout::kAlignedLeader, true};
    }
    return std::nullopt;
}

std::optional<ProblemKind> MasterFileReader::ReadLeaderAt(std::int32_t mfn, std::int64_t start,
                                                          LeaderReading& reading) {
    return layout_.order == ByteOrder::Little ? ReadLeaderIn<ByteOrder::Little>(mfn, start, reading)
                                              : ReadLeaderIn<ByteOrder::Big>(mfn, start, reading);
}

RecordFault MasterFileReader::FindLeader(std::int32_t mfn, std::int64_t& start,
                                         LeaderReading& reading) {
    layout::PointerTarget target{};
    std::uint32_t pointer = 0;
    const bool located = layout_.order == ByteOrder::Little
                             ? LocateRecordIn<ByteOrder::Little>(mfn, target, pointer)
                             : LocateRecordIn<ByteOrder::Big>(mfn, target, pointer);
    if (!located) {
        return RecordFault::PointerMissing;
    }
    if (target.kind != layout::PointerKind::Record) {
        return target.kind == layout::PointerKind::NoBlock ? RecordFault::PointerWithoutBlock
                                                           : RecordFault::NotStored;
    }
    start = target.position;
    const std::optional<ProblemKind> problem = ReadLeaderAt(mfn, start, reading);
    if (problem) {
        return *problem == ProblemKind::ReadError ? RecordFault::ReadError
                                                  : RecordFault::PastEndOfMaster;
    }
    return reading.consistent ? RecordFault::None : RecordFault::InconsistentLeader;
}

int MasterFileReader::ReadLeader(std::int32_t mfn, RecordLeader* leader, RecordFault* fault) {
    if (!StreamsAndMfnValid(mfn) || leader == nullptr) {
        return -1;
    }
    std::int64_t start = 0;
    LeaderReading reading;
    RecordFault why = FindLeader(mfn, start, reading);
    if ((why == RecordFault::None || why == RecordFault::InconsistentLeader) &&
        (!FitsInt16(reading.leader.MFRL) || !FitsInt16(reading.leader.BASE))) {
        why = RecordFault::WiderThanSixteenBits;
    }
    SetFault(fault, why);
    if (why != RecordFault::None && why != RecordFault::InconsistentLeader) {
        return -1;
    }
    const WideLeader& read = reading.leader;
    leader->MFN = read.MFN;
    leader->MFRL = static_cast<std::int16_t>(read.MFRL);
    leader->MFBWB = read.MFBWB;
    leader->MFBWP = static_cast<std::int16_t>(read.MFBWP);
    leader->BASE = static_cast<std::int16_t>(read.BASE);
    leader->NVF = static_cast<std::int16_t>(read.NVF);
    leader->STATUS = static_cast<std::int16_t>(read.STATUS);
    return 0;
}

int MasterFileReader::ReadFields(std::int32_t mfn, DirectoryEntry* directory, std::int32_t count,
                                 unsigned char* data, std::int32_t dataLength, RecordFault* fault) {
    if (!StreamsAndMfnValid(mfn) || directory == nullptr || data == nullptr) {
        return -1;
    }
    const EntryShape& entryShape = layout::EntryShapeOf(layout_.format);
    std::int64_t start = 0;
    LeaderReading reading;
    RecordFault why = FindLeader(mfn, start, reading);
    const std::int64_t fieldsStart = start + reading.shape->size;
    const std::int64_t entries = count > 0 ? count : 0;
    if ((why == RecordFault::None || why == RecordFault::InconsistentLeader) &&
        fieldsStart + entries * entryShape.size + (dataLength > 0 ? dataLength : 0) >
            master->Size()) {
        why = RecordFault::PastEndOfMaster;
    }
    SetFault(fault, why);
    if (why != RecordFault::None && why != RecordFault::InconsistentLeader) {
        return -1;
    }

    why = layout_.order == ByteOrder::Little
              ? CopyFields<ByteOrder::Little>(fieldsStart, directory, count, data, dataLength)
              : CopyFields<ByteOrder::Big>(fieldsStart, directory, count, data, dataLength);
    if (why != RecordFault::None) {
        SetFault(fault, why);
        return -1;
    }
    return 0;
}

template <ByteOrder order>
RecordFault MasterFileReader::CopyFields(std::int64_t position, DirectoryEntry* directory,
                                         std::int32_t count, unsigned char* data,
                                         std::int32_t dataLength) {
    const EntryShape& entryShape = layout::EntryShapeOf(layout_.format);
    // 32-bit POS and LEN must all fit before any entry is stored.
    bool fit = true;
    if (entryShape.wide && !layout::ForEachEntry<order>(*master, position, count, entryShape,
                                                        [&fit](const WideEntry& entry) {
                                                            fit = FitsInt16(entry.POS) &&
                                                                  FitsInt16(entry.LEN);
                                                            return fit;
                                                        })) {
        return RecordFault::ReadError;
    }
    if (!fit) {
        return RecordFault::WiderThanSixteenBits;
    }
    DirectoryEntry* stored = directory;
    if (!layout::ForEachEntry<order>(*master, position, count, entryShape,
                                     [&stored](const WideEntry& entry) {
                                         *stored++ = {static_cast<std::int16_t>(entry.TAG),
                                                      static_cast<std::int16_t>(entry.POS),
                                                      static_cast<std::int16_t>(entry.LEN)};
                                         return true;
                                     })) {
        return RecordFault::ReadError;
    }
    // The data area follows the entries asked for, a view at a time.
    const std::int64_t length = dataLength > 0 ? dataLength : 0;
    const std::int64_t dataStart = position + std::int64_t{count > 0 ? count : 0} * entryShape.size;
    const auto largest = static_cast<std::int64_t>(master->LargestView());
    for (std::int64_t done = 0; done < length;) {
        const auto piece = static_cast<std::size_t>(std::min(largest, length - done));
        const unsigned char* bytes = master->View(dataStart + done, piece);
        if (bytes == nullptr) {
            return RecordFault::ReadError;
        }
        std::memcpy(data + done, bytes, piece);
        done += static_cast<std::int64_t>(piece);
    }
    data[length] = 0;
    return RecordFault::None;
}

template <ByteOrder order>
bool MasterFileReader::ReadPlainRecord(std::int64_t start, RecordFields& record) {
    constexpr const LeaderShape& shape = layout::kStandardLeader;
    constexpr const EntryShape& entryShape = layout::kStandardEntry;
    const unsigned char* leader = master->View(start, static_cast<std::size_t>(shape.size));
    if (leader == nullptr) {
        return false;
    }
    const std::int32_t mfrl = layout::Int16<order>(leader + shape.mfrlAt);
    const std::int32_t base = layout::Int16<order>(leader + shape.baseAt);
    const std::int32_t nvf = layout::Int16<order>(leader + shape.nvfAt);
    const std::int32_t status = layout::Int16<order>(leader + shape.statusAt);
    // Consistent as an 18-byte leader, and not possibly an aligned one (see
    // ReadLeaderIn).
    if (nvf < 0 || base != shape.size + entryShape.size * nvf || mfrl < base ||
        nvf == layout::kAlignedLeader.size + entryShape.size * status) {
        return false;
    }
    const unsigned char* bytes = master->View(start, static_cast<std::size_t>(mfrl));
    if (bytes == nullptr) {
        return false;
    }
    const unsigned char* data = bytes + base;
    const std::int32_t dataLength = mfrl - base;
    if (std::memchr(data, 0, static_cast<std::size_t>(dataLength)) != nullptr) {
        return false;
    }
    FieldValue* field = record.fields.Room(static_cast<std::size_t>(nvf));
    std::size_t valueBytes = 0;
    const unsigned char* entry = bytes + shape.size;
    for (std::int32_t i = 0; i < nvf; ++i, entry += entryShape.size, ++field) {
        const std::int32_t pos = layout::Int16<order>(entry + entryShape.posAt);
        const std::int32_t len = layout::Int16<order>(entry + entryShape.lenAt);
        if (pos < 0 || len < 0 || pos + len > dataLength) {
            return false;
        }
        *field = {layout::Int16<order>(entry + entryShape.tagAt), data + pos,
                  static_cast<std::size_t>(len)};
        valueBytes += static_cast<std::size_t>(len);
    }
    record.fields.Resize(static_cast<std::size_t>(nvf));
    record.valueBytes = valueBytes;
    return true;
}

template <ByteOrder order>
void MasterFileReader::ReadRecordIn(std::int32_t mfn, RecordFields& record, ProblemSink* problems) {
    // The record is found once, and read straight from the master file's
    // buffer: leader, directory and data area are all in one view.
    layout::PointerTarget target{};
    std::uint32_t pointer = 0;
    if (!LocateRecordIn<order>(mfn, target, pointer)) {
        ReportProblem(record, {ProblemKind::PointerMissing}, problems);
        ++notRead_;
        return;
    }
    if (target.kind != layout::PointerKind::Record) {
        if (target.kind == layout::PointerKind::NoBlock) {
            RecordProblem problem{ProblemKind::PointerWithoutBlock};
            problem.pointer = pointer;
            ReportProblem(record, problem, problems);
        } else {
            record.state = RecordFields::State::NotStored;
            record.deleted = target.kind == layout::PointerKind::Deleted;
        }
        ++notRead_;
        return;
    }
    const std::int64_t start = target.position;
    if (layout_.format == RecordFormat::Standard && ReadPlainRecord<order>(start, record)) {
        return;
    }
    ReadOtherRecord<order>(mfn, start, record, problems);
    notRead_ += record.state != RecordFields::State::Stored ? 1 : 0;
}

template <ByteOrder order>
void MasterFileReader::ReadOtherRecord(std::int32_t mfn, std::int64_t start, RecordFields& record,
                                       ProblemSink* problems) {
    LeaderReading reading;
    if (const std::optional<ProblemKind> unread = ReadLeaderIn<order>(mfn, start, reading)) {
        ReportProblem(record, {*unread}, problems);
        return;
    }
    const WideLeader& leader = reading.leader;
    const LeaderShape& shape = *reading.shape;
    if (!reading.consistent) {
        ReportProblem(record, LeaderProblem(ProblemKind::InconsistentLeader, leader, shape),
                      problems);
        return;
    }
    const std::int64_t length = layout::RecordLength(leader.MFRL);
    if (start + length > master->Size()) {
        ReportProblem(record, LeaderProblem(ProblemKind::PastEndOfMaster, leader, shape), problems);
        return;
    }
    if (static_cast<std::uint64_t>(length) > master->LargestView()) {
        // Only an FFI record can be this long.
        if (!ReadFieldsInFile<order>(start, leader, shape, record, problems)) {
            ReportProblem(record, {ProblemKind::ReadError}, problems);
        }
        return;
    }
    const unsigned char* bytes = master->View(start, static_cast<std::size_t>(length));
    if (bytes == nullptr) {
        ReportProblem(record, {ProblemKind::ReadError}, problems);
        return;
    }
    alignedLeaders_ += shape.size == layout::kAlignedLeaderSize ? 1 : 0;
    const unsigned char* directory = bytes + shape.size;
    const unsigned char* data = bytes + leader.BASE;
    switch (layout_.format) {
        case RecordFormat::Standard:
            AppendFields<order, RecordFormat::Standard>(directory, data, leader, shape, record,
                                                        problems);
            break;
        case RecordFormat::Ffi:
            AppendFields<order, RecordFormat::Ffi>(directory, data, leader, shape, record,
                                                   problems);
            break;
        case RecordFormat::FfiAligned:
            AppendFields<order, RecordFormat::FfiAligned>(directory, data, leader, shape, record,
                                                          problems);
            break;
    }
}

template <ByteOrder order>
bool MasterFileReader::ReadFieldsInFile(std::int64_t start, const WideLeader& leader,
                                        const LeaderShape& shape, RecordFields& record,
                                        ProblemSink* problems) {
    const std::int64_t dataStart = start + leader.BASE;
    const std::int64_t dataLength = layout::RecordLength(leader.MFRL) - leader.BASE;
    bool readable = true;
    const bool read = layout::ForEachEntry<order>(
        *master, start + shape.size, leader.NVF, layout::EntryShapeOf(layout_.format),
        [&](const WideEntry& entry) {
            if (!layout::EntryInsideData(entry, dataLength)) {
                RecordProblem problem = LeaderProblem(ProblemKind::EntryOutsideData, leader, shape);
                problem.tag = entry.TAG;
                problem.pos = entry.POS;
                problem.len = entry.LEN;
                ReportProblem(record, problem, problems);
                return true;
            }
            const std::int64_t position = dataStart + entry.POS;
            const std::int64_t length = ZeroFreeLength(position, entry.LEN);
            readable = length >= 0;
            if (readable) {
                record.fields.push_back(
                    {entry.TAG, nullptr, static_cast<std::size_t>(length), position});
            }
            return readable;
        });
    record.valueReader = this;
    return read && readable;
}

std::int64_t MasterFileReader::ZeroFreeLength(std::int64_t position, std::int64_t length) {
    const auto largest = static_cast<std::int64_t>(LargestPiece());
    for (std::int64_t done = 0; done < length;) {
        const auto count = static_cast<std::size_t>(std::min(largest, length - done));
        const unsigned char* bytes = master->View(position + done, count);
        if (bytes == nullptr) {
            return -1;
        }
        if (const void* zero = std::memchr(bytes, 0, count)) {
            return done + (static_cast<const unsigned char*>(zero) - bytes);
        }
        done += static_cast<std::int64_t>(count);
    }
    return length;
}

std::size_t MasterFileReader::LargestPiece() const {
    return std::min<std::size_t>(64 * 1024, master->LargestView());
}

const unsigned char* MasterFileReader::Piece(std::int64_t position, std::size_t count) {
    return master->View(position, count);
}

bool MasterFileReader::ReadRecord(std::int32_t mfn, RecordFields& record, ProblemSink* problems) {
    if (!StreamsAndMfnValid(mfn)) {
        return false;
    }
    record.mfn = mfn;
    record.fields.clear();
    record.valueBytes = 0;
    record.valueReader = nullptr;
    record.state = RecordFields::State::Stored;
    // The record's fields may need more room than any record before it did.
    try {
        if (layout_.order == ByteOrder::Little) {
            ReadRecordIn<ByteOrder::Little>(mfn, record, problems);
        } else {
            ReadRecordIn<ByteOrder::Big>(mfn, record, problems);
        }
    } catch (const std::bad_alloc&) {
        ReportProblem(record, {ProblemKind::OutOfMemory}, problems);
        ++notRead_;
    }
    return true;
}
