// Reads records of a master file by MFN, through its cross-reference file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "InputFile.hpp"
#include "OnDiskLayout.hpp"
#include "TextBuffer.hpp"

// Why a record operation could not read what it was asked for.
enum class RecordFault {
    None,
    // The pointer is 0 or has bit 31 set: a deleted record or an MFN never written.
    NotStored,
    // The MFN's pointer is not wholly inside the cross-reference file.
    PointerMissing,
    // The leader, directory or data area reaches past the end of the master file.
    PastEndOfMaster,
    // Read, but neither the 18-byte nor the 20-byte reading of the leader is
    // consistent (NVF < 0, BASE != leader size + 6 * NVF, or MFRL < BASE).
    InconsistentLeader,
};

// Something wrong with one record that its text leaves out.
struct RecordProblem {
    enum class Kind {
        // The MFN's pointer is not wholly inside the cross-reference file; the
        // text is empty.
        PointerMissing,
        // The record reaches past the end of the master file; its text is empty.
        PastEndOfMaster,
        // NVF < 0, BASE != 18 + 6 * NVF or MFRL < BASE; its text is empty.
        InconsistentLeader,
        // A directory entry whose value is not inside the data area; its line
        // is left out.
        EntryOutsideData,
    };
    Kind kind;
    RecordLeader leader;   // as read, for the leader and entry kinds
    DirectoryEntry entry;  // for EntryOutsideData
};

class MasterFileReader {
  public:
    // Borrowed, never opened or closed here; the caller stores them.
    InputFile* master = nullptr;
    InputFile* crossRef = nullptr;
    ControlRecord controlRecord;
    std::int32_t lastMfn = 0;

    // Each returns 0 when its preconditions hold and it has read what it was
    // asked for, -1 otherwise, leaving its outputs as they were. `fault`, when
    // given, says why a record could not be read, or that its leader was
    // read but is inconsistent.
    //
    // A record's own leader decides its layout: the 18-byte leader when that
    // reading is consistent, else the 20-byte aligned leader when that one is
    // consistent and the record lies inside the file, else the 18-byte reading.

    // Preconditions: master and crossRef set, and the master file holds the
    // 16 bytes of the control record.
    int ReadControlRecord();
    // Preconditions: master and crossRef set; 1 <= mfn <= lastMfn; leader given.
    int ReadLeader(std::int32_t mfn, RecordLeader* leader, RecordFault* fault = nullptr);
    // Reads `count` directory entries from the byte after the leader, then
    // `dataLength` bytes of data area, and stores a zero byte after them.
    // Preconditions: master and crossRef set; 1 <= mfn <= lastMfn; directory
    // and data given.
    int ReadFields(std::int32_t mfn, DirectoryEntry* directory, std::int32_t count,
                   unsigned char* data, std::int32_t dataLength, RecordFault* fault = nullptr);

    // The record as tagged text, one "<TAG>value</TAG>\n" line per directory
    // entry; nothing when a stream is missing or mfn is outside 1 to lastMfn.
    // A deleted or never-written record has an empty text. What the text
    // leaves out of a damaged record is added to `problems`, when given.
    std::optional<std::string> RecordText(std::int32_t mfn,
                                          std::vector<RecordProblem>* problems = nullptr);

    // Like RecordText, but appends the text to `text`. Returns false, adding
    // nothing, where RecordText returns nothing.
    bool AppendRecordText(std::int32_t mfn, std::string& text,
                          std::vector<RecordProblem>* problems = nullptr);
    // The same into a TextBuffer, without an intermediate copy: the export's way.
    bool AppendRecordText(std::int32_t mfn, TextBuffer& text,
                          std::vector<RecordProblem>* problems = nullptr);

  private:
    bool StreamsAndMfnValid(std::int32_t mfn) const;
    // Finds the master file position of `mfn`'s record; on failure says why.
    std::optional<std::int64_t> LocateRecord(std::int32_t mfn, RecordFault& fault);
    // Reads the leader of the record at `start` in whichever layout fits it.
    // Returns its size in bytes, or 0 when the file ends inside it; `fault`
    // is set to InconsistentLeader when neither layout fits.
    std::int32_t ReadLeaderAt(std::int64_t start, RecordLeader& leader, RecordFault& fault);

    // Where AppendRecordText writes a text bound for a std::string.
    TextBuffer recordText_;
};

// Run for every record: defined here so that callers in other files can
// inline them.

inline bool MasterFileReader::StreamsAndMfnValid(std::int32_t mfn) const {
    return master != nullptr && crossRef != nullptr && mfn >= 1 && mfn <= lastMfn;
}

inline std::optional<std::int64_t> MasterFileReader::LocateRecord(std::int32_t mfn,
                                                                  RecordFault& fault) {
    unsigned char bytes[layout::kPointerSize];
    crossRef->Seek(layout::PointerPosition(mfn));
    if (crossRef->Read(bytes, sizeof bytes) != sizeof bytes) {
        fault = RecordFault::PointerMissing;
        return std::nullopt;
    }
    const auto position = layout::RecordPosition(layout::DecodeUint32(bytes));
    if (!position) {
        fault = RecordFault::NotStored;
    }
    return position;
}

inline std::int32_t MasterFileReader::ReadLeaderAt(std::int64_t start, RecordLeader& leader,
                                                   RecordFault& fault) {
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
    leader = layout::DecodeLeader(bytes);
    if (layout::LeaderIsConsistent(leader, layout::kLeaderSize)) {
        return layout::kLeaderSize;
    }
    if (wanted == layout::kAlignedLeaderSize) {
        const RecordLeader aligned = layout::DecodeLeader(bytes, layout::kAlignedLeaderSize);
        if (layout::LeaderIsConsistent(aligned, layout::kAlignedLeaderSize) &&
            start + aligned.MFRL <= master->Size()) {
            leader = aligned;
            return layout::kAlignedLeaderSize;
        }
    }
    fault = RecordFault::InconsistentLeader;
    return layout::kLeaderSize;
}
