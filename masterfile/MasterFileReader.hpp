// Reads records of a master file by MFN, through its cross-reference file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "OnDiskLayout.hpp"
#include "platform/InputFile.hpp"
#include "record/RecordFields.hpp"

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
    // The system could not read bytes that the master file holds.
    ReadError,
    // Read, but the leader is not consistent in the database's layout (NVF <
    // 0, BASE != leader size + entry size * NVF, or the record's length <
    // BASE); for the standard format, in neither the 18-byte nor the 20-byte
    // reading.
    InconsistentLeader,
    // An FFI record whose MFRL or BASE, or one of the entries asked for whose
    // POS or LEN, does not fit the 16-bit field of RecordLeader or
    // DirectoryEntry. ReadRecord and RecordText read such a record all the same.
    WiderThanSixteenBits,
};

class MasterFileReader final : public ValueReader {
  public:
    // Borrowed, never opened or closed here; the caller stores them.
    InputFile* master = nullptr;
    InputFile* crossRef = nullptr;
    ControlRecord controlRecord;
    std::int32_t lastMfn = 0;

    // ReadRecord is the way records are read; ReadLeader, ReadFields and
    // RecordText take its steps (the pointer, then the leader as it reads
    // it) and read through the same views of the files.
    //
    // Each of ReadControlRecord, ReadLeader and ReadFields returns 0 when its
    // preconditions hold and it has read what it was asked for, -1 otherwise.
    // `fault`, when given, says why a record could not be read, or that its
    // leader was read but is inconsistent.
    //
    // The database's layout (byte order, pointer shift, record format) is
    // decided once, by ReadControlRecord: see DecideLayout. In the standard
    // format a record's own leader decides between the 18-byte and 20-byte
    // leaders: the 18-byte leader when only that reading is consistent; the
    // 20-byte aligned leader when only that one is, and the record lies
    // inside the file. When both are consistent, the one that names the MFN
    // looked up and keeps every directory entry inside its data area wins,
    // and the 18-byte one when both or neither do.

    // Reads the control record, in the byte order the database turns out to
    // have, and decides the layout from it and the first stored records.
    // Preconditions: master and crossRef set, and the master file holds the
    // 16 bytes of the control record.
    int ReadControlRecord();
    // Preconditions: master and crossRef set; 1 <= mfn <= lastMfn; leader
    // given. An FFI record's leader is given in the same fields when its
    // MFRL and BASE fit them, and refused (WiderThanSixteenBits) otherwise.
    int ReadLeader(std::int32_t mfn, RecordLeader* leader, RecordFault* fault = nullptr);
    // Reads `count` directory entries, in the record's own entry layout, from
    // the byte after the leader, then `dataLength` bytes of data area, and
    // stores a zero byte after them. An FFI entry whose POS or LEN does not
    // fit 16 bits refuses the whole call (WiderThanSixteenBits).
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

    // How the database stores its records, as ReadControlRecord decided;
    // the published layout before it has run.
    const layout::DatabaseLayout& Layout() const { return layout_; }
    // Of the records ReadRecord was asked for: how many it could not read,
    // being deleted, never written or damaged past reading, and how many it
    // read with a 20-byte leader. Counted off the way of the ordinary
    // record, whose leader has 18 bytes in the standard format.
    struct Counts {
        std::int64_t notRead = 0;
        std::int64_t alignedLeaders = 0;
    };
    Counts RecordCounts() const { return {notRead_, alignedLeaders_}; }
    void ForgetRecordCounts() { notRead_ = alignedLeaders_ = 0; }

    // The pieces of the values of the record read last that lie in the
    // file: 64 KiB, or the master file's largest view if that is smaller.
    std::size_t LargestPiece() const override;
    const unsigned char* Piece(std::int64_t position, std::size_t count) override;

  private:
    // A record's leader as read at its start.
    struct LeaderReading {
        layout::WideLeader leader;
        const layout::LeaderShape* shape = &layout::kStandardLeader;
        bool consistent = false;
    };

    bool StreamsAndMfnValid(std::int32_t mfn) const;
    // Reads the cross-reference pointer of `mfn` into `pointer`, and what it
    // says into `target`; false when the file does not hold it whole.
    template <layout::ByteOrder order>
    bool LocateRecordIn(std::int32_t mfn, layout::PointerTarget& target, std::uint32_t& pointer);
    // Reads the leader of `mfn`'s record at `start` in the database's layout
    // and, in the standard format, in whichever leader fits it. Nothing when
    // read; PastEndOfMaster when the file ends inside it, or when only the
    // aligned reading is consistent and the record reaches past the end of
    // the file; ReadError when the system cannot read it.
    std::optional<ProblemKind> ReadLeaderAt(std::int32_t mfn, std::int64_t start,
                                            LeaderReading& reading);
    template <layout::ByteOrder order>
    std::optional<ProblemKind> ReadLeaderIn(std::int32_t mfn, std::int64_t start,
                                            LeaderReading& reading);
    // The first steps of ReadLeader and ReadFields, which are ReadRecord's:
    // finds `mfn`'s record and reads its leader. The fault when it cannot be
    // read that far, InconsistentLeader when the leader is not consistent,
    // None otherwise.
    RecordFault FindLeader(std::int32_t mfn, std::int64_t& start, LeaderReading& reading);
    // The rest of ReadFields: copies `count` entries from `position` into
    // `directory`, and the `dataLength` bytes after them into `data`.
    template <layout::ByteOrder order>
    RecordFault CopyFields(std::int64_t position, DirectoryEntry* directory, std::int32_t count,
                           unsigned char* data, std::int32_t dataLength);
    template <layout::ByteOrder order>
    void ReadRecordIn(std::int32_t mfn, RecordFields& record, ProblemSink* problems);
    // The rest of ReadRecordIn for the record at `start` that ReadPlainRecord
    // does not read.
    template <layout::ByteOrder order>
    void ReadOtherRecord(std::int32_t mfn, std::int64_t start, RecordFields& record,
                         ProblemSink* problems);
    // The way nearly every record of a standard database is read: an 18-byte
    // leader that is consistent and cannot be read as an aligned one, the
    // record inside the main buffer, no zero byte in its data area and every
    // entry inside it. False, with `record` as it was, for any other record,
    // which the general way then reads and reports on.
    template <layout::ByteOrder order>
    bool ReadPlainRecord(std::int64_t start, RecordFields& record);
    // Reads the fields of a record too large for the master file's buffer:
    // its directory a chunk at a time, and its values left in the file, each
    // with its length up to its first zero byte. False when the system
    // cannot read it.
    template <layout::ByteOrder order>
    bool ReadFieldsInFile(std::int64_t start, const layout::WideLeader& leader,
                          const layout::LeaderShape& shape, RecordFields& record,
                          ProblemSink* problems);
    // The length of the `length` bytes at `position` of the master file up
    // to the first zero byte among them, read a piece at a time; -1 when the
    // system cannot read them.
    std::int64_t ZeroFreeLength(std::int64_t position, std::int64_t length);

    layout::DatabaseLayout layout_;
    std::int64_t notRead_ = 0;
    std::int64_t alignedLeaders_ = 0;
};

inline bool MasterFileReader::StreamsAndMfnValid(std::int32_t mfn) const {
    return master != nullptr && crossRef != nullptr && mfn >= 1 && mfn <= lastMfn;
}
