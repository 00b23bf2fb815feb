// Reads records of a master file by MFN, through its cross-reference file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "InputFile.hpp"
#include "OnDiskLayout.hpp"
#include "RecordFields.hpp"

// Why a record operation could not read what it was asked for.
enum class RecordFault {
    None,
    // The pointer is 0 or has bit 31 set: an MFN never written or a deleted record.
    NotStored,
    // The pointer is neither, but names no master file block.
    PointerWithoutBlock,
    // The MFN's pointer is not wholly inside the cross-reference file.
    PointerMissing,
    // The leader, directory or data area reaches past the end of the master file.
    PastEndOfMaster,
    // Read, but neither the 18-byte nor the 20-byte reading of the leader is
    // consistent (NVF < 0, BASE != leader size + 6 * NVF, or MFRL < BASE).
    InconsistentLeader,
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
    // A record's own leader decides its layout: the 18-byte leader when only
    // that reading is consistent; the 20-byte aligned leader when only that
    // one is, and the record lies inside the file. When both are consistent,
    // the one that names the MFN looked up and keeps every directory entry
    // inside its data area wins, and the 18-byte one when both or neither do.

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

    // The record of `mfn`, read in place: the values of its fields, or why
    // there are none. Returns false, reading nothing, when a stream is
    // missing or mfn is outside 1 to lastMfn. What is left out of a damaged
    // record is reported to `problems`, when given.
    bool ReadRecord(std::int32_t mfn, RecordFields& record, ProblemSink* problems = nullptr);

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

  private:
    bool StreamsAndMfnValid(std::int32_t mfn) const;
    // Finds the master file position of `mfn`'s record; on failure says why.
    std::optional<std::int64_t> LocateRecord(std::int32_t mfn, RecordFault& fault,
                                             std::uint32_t* pointer = nullptr);
    // Reads the leader of `mfn`'s record at `start` in whichever layout fits
    // it. Returns its size in bytes, or 0 when the file ends inside it;
    // `fault` is set to InconsistentLeader when neither layout fits.
    std::int32_t ReadLeaderAt(std::int32_t mfn, std::int64_t start, RecordLeader& leader,
                              RecordFault& fault);
    // Whether a leader read with `leaderSize` bytes looks like `mfn`'s own:
    // it names `mfn`, and its record lies inside the file with every
    // directory entry inside the data area.
    bool LeaderFitsRecord(std::int32_t mfn, std::int64_t start, const RecordLeader& leader,
                          std::int32_t leaderSize);
};

inline bool MasterFileReader::StreamsAndMfnValid(std::int32_t mfn) const {
    return master != nullptr && crossRef != nullptr && mfn >= 1 && mfn <= lastMfn;
}
