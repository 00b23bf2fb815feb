// What can be wrong with one record, found by a record source as it reads it
// or by a format as it writes it: one table (Problems.cpp) gives each kind
// its message, the words of the count line at the end, and what becomes of
// the record. A new problem is a kind here and a row there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class ProblemKind : unsigned char {
    // The master file's: each but EntryOutsideData costs the record its fields.
    PointerMissing,
    PointerWithoutBlock,
    PastEndOfMaster,
    InconsistentLeader,
    EntryOutsideData,
    ReadError,
    OutOfMemory,
    // An ISO 2709 file's: a record that cannot be read, which costs it its
    // fields, and a directory entry whose tag is not three digits.
    IsoRecordUnreadable,
    IsoTagNotDigits,
    // A value of a record too large to be held could not be read to its end.
    ValueCutShort,
    UnreadValueLeftOut,
    UnreadValueRecordLeftOut,
    UnreadValueDescribed,
    // Values written with U+FFFD.
    UndefinedByte,
    NotUtf8,
    // What ISO 2709 cannot hold, or holds ambiguously.
    IsoTagOutOfRange,
    IsoValueTooLong,
    IsoRecordTooLong,
    IsoNothingLeft,
    IsoTerminatorInValue,
    // A tag that the pass before a CSV export did not see: the database
    // changed while it was read.
    CsvTagWithoutColumn,
    kCount
};

// What a problem does to its record's export.
enum class Outcome {
    // Exported without fields: the record is damaged past reading.
    RecordWithoutFields,
    // The record without that field.
    FieldLeftOut,
    // The value as far as it could be read.
    ValueCutShort,
    // The value with U+FFFD in place of bytes.
    ValueMended,
    // The value as stored, which some readers will misread.
    ValueAsStored,
    // No record in the output.
    RecordLeftOut,
};

// One problem of one record, with the details its message gives.
struct RecordProblem {
    ProblemKind kind;
    std::int32_t mfn = 0;
    // The field's tag, for a problem with one field.
    std::int32_t tag = 0;
    // The leader as read, for InconsistentLeader and EntryOutsideData; MFRL
    // is negative for a locked record.
    std::int32_t mfrl = 0;
    std::int32_t base = 0;
    std::int32_t nvf = 0;
    // The data area's length: the record's length, MFRL's absolute value, less BASE.
    std::int64_t dataLength = 0;
    // The size of the leader the numbers were read from: 18 for the
    // standard format, 22 or 24 for the FFI ones.
    std::int32_t leaderSize = 0;
    // The directory entry, for EntryOutsideData.
    std::int32_t pos = 0;
    std::int32_t len = 0;
    // The cross-reference pointer, for PointerWithoutBlock.
    std::uint32_t pointer = 0;
    // How many bytes were written as U+FFFD (UndefinedByte, NotUtf8), or how
    // long the value or record is (IsoValueTooLong, IsoRecordTooLong).
    std::size_t count = 0;
    // The first byte written as U+FFFD, or the terminator a value holds.
    unsigned char byte = 0;
    // The code page that leaves `byte` undefined; nullptr for UTF-8.
    const char* codePage = nullptr;
    // Where the record starts in the file, for a source that has no other
    // way to find it (IsoRecordUnreadable, IsoTagNotDigits).
    std::int64_t offset = 0;
    // Why the record cannot be read, or the tag as stored, for IsoTagNotDigits.
    std::string detail = std::string();
};

// The text of the problem's message, after "NAME: MFN n: ".
std::string ProblemText(const RecordProblem& problem);

// The kind whose count line counts problems of `kind`: its own, or one that
// says the same of another part of the record.
ProblemKind CountedWith(ProblemKind kind);

// What the count line at the end calls the records or fields of `kind`, a
// kind that CountedWith gives.
const char* ProblemPlural(ProblemKind kind);

Outcome OutcomeOf(ProblemKind kind);

// Where a record source or a format reports what it finds wrong with a
// record, as it finds it.
class ProblemSink {
  public:
    virtual void Report(const RecordProblem& problem) = 0;

  protected:
    ~ProblemSink() = default;
};
