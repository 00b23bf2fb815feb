// Reads the records of an ISO 2709 file one after the other, as the CDS/ISIS
// programs and other systems write them, into the fields the export writes.
//
// A record's MFN is its position in the file: 1 for the first, and so on, as
// CDS/ISIS numbers the records it imports. A damaged record keeps its number,
// so the records after it keep theirs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "IsoLeader.hpp"
#include "IsoVariant.hpp"
#include "platform/InputFile.hpp"
#include "record/Problems.hpp"
#include "record/RecordFields.hpp"

class Iso2709Reader {
  public:
    // How many records, at most, decide how the file ends its fields, records
    // and lines, and whether it is ISO 2709 at all.
    static constexpr int kDecidingRecords = 8;

    enum class Opened {
        // Records follow; the variant is decided.
        Records,
        // The file holds nothing, or only line ends.
        Empty,
        // The file does not start with an ISO 2709 leader, or none of its
        // first records can be read in any variant.
        NotIso2709,
    };

    enum class Next {
        // `record` holds the next record's fields.
        Record,
        // The next record could not be read; `record` is Unreadable, without
        // fields, and a problem (IsoRecordUnreadable) says why.
        Damaged,
        // No record follows.
        End,
    };

    // The most bytes a record takes in the file, line ends included: every
    // view the reader asks of its file is within it.
    static constexpr std::size_t kLargestExtent =
        IsoLeader::kLongestRecord +
        (IsoLeader::kLongestRecord + IsoVariant::kLineLength - 1) / IsoVariant::kLineLength * 2;

    // `file` is borrowed, open, and read only through this reader; its
    // buffer holds kLargestExtent bytes at least.
    explicit Iso2709Reader(InputFile& file);
    Iso2709Reader(const Iso2709Reader&) = delete;
    Iso2709Reader& operator=(const Iso2709Reader&) = delete;

    // Decides, from the file's first records, which variant it is written in,
    // and goes back to its start. For NotIso2709, `reason` says why, in a few
    // words ("its first bytes are not an ISO 2709 leader: ...").
    Opened Open(std::string& reason);

    // Back to the first record, in the variant Open decided.
    void Rewind();

    // Reads the next record into `record`, its MFN the record's position:
    // its fields in directory order, tag and value as stored, indicators and
    // subfield markers included, each value up to its first zero byte. The
    // values lie in this reader's own buffer, or in the file's when the file
    // has no line ends, with kViewSlack readable bytes after each, and stay
    // valid until the next call. What is wrong with the record goes to
    // `problems`, when given, with the record's offset.
    Next ReadNext(RecordFields& record, ProblemSink* problems = nullptr);

    // The position of the record read last; 0 before the first.
    std::int32_t Position() const { return position_; }

    // What Open decided.
    const IsoVariant& Variant() const { return variant_; }
    // After Next::Record: that record's leader, and its bytes without line
    // ends, inside which every value lies.
    const IsoLeader& Leader() const { return leader_; }
    const unsigned char* RecordBytes() const { return bytes_; }
    std::size_t RecordLength() const { return leader_.recordLength; }

  private:
    // How reading one record went: how far it got (a stage of the reader's
    // own), where the next record starts once its lines are in place, and
    // why it failed.
    struct Attempt {
        int stage = 0;
        std::int64_t next = 0;
        std::string reason;
    };
    // How a variant reads the file's first records.
    struct Trial {
        int tried = 0;
        int read = 0;
        Attempt first;
    };

    // Reads the file's first records in `variant`, reporting nothing.
    Trial Try(const IsoVariant& variant);
    // Reads the record that starts at `start` in `variant` into `record`;
    // reports a tag that is not three digits to `problems`, when given.
    void ReadAt(std::int64_t start, const IsoVariant& variant, RecordFields& record,
                ProblemSink* problems, Attempt& attempt);
    // Takes the fields that the directory in the record buffer gives; false,
    // with the reason, when it does not agree with the record.
    bool TakeFields(std::int64_t start, const IsoVariant& variant, RecordFields& record,
                    ProblemSink* problems, std::string& reason);
    // TakeFields for directory entries of `lengthDigits` and `startDigits`
    // digits, or of the leader's (0 and 0).
    template <std::size_t lengthDigits, std::size_t startDigits>
    bool TakeFieldsOf(std::int64_t start, const IsoVariant& variant, RecordFields& record,
                      ProblemSink* problems, std::string& reason);
    // Where the record after the damaged one at `start` begins; a record
    // terminator that may end it is searched for before `searchEnd` only.
    std::int64_t AfterDamage(std::int64_t start, const IsoVariant& variant, const Attempt& attempt,
                             std::int64_t searchEnd);
    // After the first record terminator from `start` to `searchEnd` (and its
    // line end) that a leader or the file's end follows; the file's end when
    // there is none.
    std::int64_t SearchNextRecord(std::int64_t start, const IsoVariant& variant,
                                  std::int64_t searchEnd);
    // Whether a record begins at `at`, after any line ends between records,
    // or the file ends there.
    bool RecordOrEndAt(std::int64_t at);
    // The first byte at or after `at` that is not a line end or a DOS
    // end-of-file mark between records.
    std::int64_t SkipBetweenRecords(std::int64_t at);

    InputFile& file_;
    IsoVariant variant_;
    // Whether records follow, and whether Open found any.
    bool open_ = false;
    bool hasRecords_ = false;
    std::int64_t next_ = 0;
    std::int32_t position_ = 0;
    IsoLeader leader_;
    // The record's bytes, gathered from its lines: room for the longest
    // record and the slack its values need.
    std::unique_ptr<unsigned char[]> record_;
    // The record's bytes without line ends: in record_, or in the file's
    // buffer when the file has no line ends.
    const unsigned char* bytes_ = nullptr;
    Attempt attempt_;
};
