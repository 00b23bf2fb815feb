// One record as the export sees it: the values of its fields, in directory
// order, and what could not be read of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Problems.hpp"
#include "platform/ViewSlack.hpp"

// A field's value as a source yields it.
//
// The rule every source keeps, and every format relies on: the bytes of a
// value, or of a piece of one (ValueReader::Piece), are followed by
// kViewSlack more bytes that may be read, whatever they hold. The formats
// copy and test values in whole blocks, past their end (see
// export/FastWriting.hpp); a source that holds values in its own memory
// leaves that much room after each.
struct FieldValue {
    std::int32_t tag;
    // The stored bytes up to the first zero byte among them. They lie in the
    // source's buffer and stay valid until its next read; nullptr for a value
    // of a record too large to be held, which lies at `position` of the file
    // and is read in pieces (see ValueReader).
    const unsigned char* bytes;
    // The value's length up to its first zero byte, in memory or in the file.
    std::size_t length;
    std::int64_t position = 0;
};

// Reads the values that a record does not hold in memory, a piece at a time.
class ValueReader {
  public:
    // The most bytes Piece gives at once; at least 4, the longest UTF-8
    // sequence.
    virtual std::size_t LargestPiece() const = 0;
    // The `count` bytes at `position` of the file, at most LargestPiece,
    // with kViewSlack readable bytes after them, valid until the next call;
    // nullptr when they cannot be read.
    virtual const unsigned char* Piece(std::int64_t position, std::size_t count) = 0;

  protected:
    ~ValueReader() = default;
};

// The fields of a record. Its storage stays from one record to the next, so
// reading a record costs no allocation and no clearing.
class FieldList {
  public:
    const FieldValue* begin() const { return storage_.data(); }
    const FieldValue* end() const { return storage_.data() + count_; }
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    const FieldValue& operator[](std::size_t i) const { return storage_[i]; }

    void clear() { count_ = 0; }
    void push_back(const FieldValue& field) {
        if (count_ == storage_.size()) {
            storage_.push_back(field);
        } else {
            storage_[count_] = field;
        }
        ++count_;
    }
    // Room for `count` fields, to be written in place; Resize(count) then
    // takes them in.
    FieldValue* Room(std::size_t count) {
        if (storage_.size() < count) {
            storage_.resize(count);
        }
        return storage_.data();
    }
    void Resize(std::size_t count) { count_ = count; }

  private:
    std::vector<FieldValue> storage_;
    std::size_t count_ = 0;
};

struct RecordFields {
    enum class State {
        // Read; `fields` holds every directory entry that lies inside the data area.
        Stored,
        // Deleted, or an MFN that was never written: nothing to read, no damage.
        NotStored,
        // Damaged past reading: exported without fields, with a problem saying
        // why (see ReportProblem).
        Unreadable,
    };
    std::int32_t mfn = 0;
    State state = State::NotStored;
    // For a NotStored record: deleted, rather than an MFN never written.
    bool deleted = false;
    FieldList fields;
    // The lengths of the fields' values added up, for a record held in
    // memory; 0 for one whose values lie in the file.
    std::size_t valueBytes = 0;
    // Reads the values whose `bytes` are nullptr; nullptr when the record is
    // held in memory, as every record that fits the reader's buffer is.
    ValueReader* valueReader = nullptr;
};

// Says `problem` of `record` to `problems`. A problem that costs the record
// its fields leaves it without them, Unreadable.
inline void ReportProblem(RecordFields& record, RecordProblem problem, ProblemSink* problems) {
    problem.mfn = record.mfn;
    if (OutcomeOf(problem.kind) == Outcome::RecordWithoutFields) {
        record.fields.clear();
        record.valueBytes = 0;
        record.valueReader = nullptr;
        record.state = RecordFields::State::Unreadable;
    }
    if (problems != nullptr) {
        problems->Report(problem);
    }
}
