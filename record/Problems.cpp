#include "Problems.hpp"

#include <cstdio>

namespace {

using Kind = ProblemKind;

std::string Hex(std::uint32_t value) {
    char digits[11];
    (void)std::snprintf(digits, sizeof digits, "0x%08X", static_cast<unsigned>(value));
    return digits;
}

std::string HexByte(unsigned char byte) {
    char digits[8];
    (void)std::snprintf(digits, sizeof digits, "0x%02X", static_cast<unsigned>(byte));
    return digits;
}

std::string Field(const RecordProblem& problem) {
    return "field with tag " + std::to_string(problem.tag);
}

// The FFI layouts' leaders are named, so that the numbers can be checked.
const char* LeaderName(std::int32_t leaderSize) {
    return leaderSize == 22 ? "FFI leader" : leaderSize == 24 ? "aligned FFI leader" : "leader";
}

const char* TerminatorName(unsigned char byte) {
    return byte == '#'    ? "'#', the ISO 2709 terminator of --iso-delimiters=hash"
           : byte == 0x1E ? "0x1E, the ISO 2709 field terminator"
                          : "0x1D, the ISO 2709 record terminator";
}

struct Row {
    Kind kind;
    // The kind whose count line counts this one; itself, for a kind with a
    // plural of its own.
    Kind countedWith;
    Outcome outcome;
    const char* plural;
    std::string (*text)(const RecordProblem&);
};

// In the order of ProblemKind, which is the order of the count lines.
constexpr Row kRows[] = {
    {Kind::PointerMissing, Kind::PointerMissing, Outcome::RecordWithoutFields,
     "records whose pointer is missing from the cross-reference file",
     [](const RecordProblem&) {
         return std::string(
             "its pointer is missing from the cross-reference file; exported without fields");
     }},
    {Kind::PointerWithoutBlock, Kind::PointerWithoutBlock, Outcome::RecordWithoutFields,
     "records whose cross-reference pointer names no master file block",
     [](const RecordProblem& p) {
         return "its cross-reference pointer " + Hex(p.pointer) +
                " names no master file block; exported without fields";
     }},
    {Kind::PastEndOfMaster, Kind::PastEndOfMaster, Outcome::RecordWithoutFields,
     "records that reach past the end of the file",
     [](const RecordProblem&) {
         return std::string("the record reaches past the end of the file; exported without fields");
     }},
    {Kind::InconsistentLeader, Kind::InconsistentLeader, Outcome::RecordWithoutFields,
     "records with an inconsistent leader",
     [](const RecordProblem& p) {
         return std::string("inconsistent ") + LeaderName(p.leaderSize) + " (MFRL " +
                std::to_string(p.mfrl) + ", BASE " + std::to_string(p.base) + ", NVF " +
                std::to_string(p.nvf) + "); exported without fields";
     }},
    {Kind::EntryOutsideData, Kind::EntryOutsideData, Outcome::FieldLeftOut,
     "fields outside the data area, left out",
     [](const RecordProblem& p) {
         return Field(p) + " lies outside the data area (POS " + std::to_string(p.pos) + ", LEN " +
                std::to_string(p.len) + ", data area " + std::to_string(p.dataLength) +
                " bytes); line left out";
     }},
    {Kind::ReadError, Kind::ReadError, Outcome::RecordWithoutFields,
     "records or values that could not be read (read errors)",
     [](const RecordProblem&) {
         return std::string("the record could not be read (a read error); exported without fields");
     }},
    {Kind::OutOfMemory, Kind::OutOfMemory, Outcome::RecordWithoutFields,
     "records that could not be read for want of memory",
     [](const RecordProblem&) {
         return std::string(
             "the memory ran out while the record was read; exported without fields");
     }},
    {Kind::IsoRecordUnreadable, Kind::IsoRecordUnreadable, Outcome::RecordWithoutFields,
     "records that cannot be read as ISO 2709",
     [](const RecordProblem& p) {
         return "the record at byte " + std::to_string(p.offset) + " cannot be read: " + p.detail +
                "; exported without fields";
     }},
    {Kind::IsoTagNotDigits, Kind::IsoTagNotDigits, Outcome::FieldLeftOut,
     "fields left out for tags that are not three digits",
     [](const RecordProblem& p) {
         return "field with tag \"" + p.detail + "\" (record at byte " + std::to_string(p.offset) +
                ") left out: an ISO 2709 tag is three digits";
     }},
    {Kind::ValueCutShort, Kind::ReadError, Outcome::ValueCutShort, nullptr,
     [](const RecordProblem& p) {
         return Field(p) + " could not be read to its end (a read error); written cut short";
     }},
    {Kind::UnreadValueLeftOut, Kind::ReadError, Outcome::FieldLeftOut, nullptr,
     [](const RecordProblem& p) {
         return Field(p) + " could not be read to its end (a read error); left out";
     }},
    {Kind::UnreadValueRecordLeftOut, Kind::ReadError, Outcome::RecordLeftOut, nullptr,
     [](const RecordProblem& p) {
         return Field(p) + " could not be read to its end (a read error); record left out";
     }},
    {Kind::UnreadValueDescribed, Kind::ReadError, Outcome::ValueCutShort, nullptr,
     [](const RecordProblem& p) {
         return Field(p) +
                " could not be read to its end (a read error); described as far as it was read";
     }},
    {Kind::UndefinedByte, Kind::UndefinedByte, Outcome::ValueMended,
     "values with bytes that the encoding does not define, written as U+FFFD",
     [](const RecordProblem& p) {
         return Field(p) + " holds byte " + HexByte(p.byte) +
                (p.codePage == nullptr
                     ? std::string(" that is not valid UTF-8")
                     : std::string(", which ") + p.codePage + " does not define") +
                (p.count > 1 ? " (" + std::to_string(p.count) + " such bytes)" : std::string()) +
                "; written as U+FFFD";
     }},
    {Kind::NotUtf8, Kind::NotUtf8, Outcome::ValueMended,
     "values that are not valid UTF-8, written with U+FFFD",
     [](const RecordProblem& p) {
         return Field(p) + " is not valid UTF-8 (byte " + HexByte(p.byte) +
                (p.count > 1 ? ", " + std::to_string(p.count) + " such bytes" : std::string()) +
                "); written with U+FFFD: give --encoding with the database's code page";
     }},
    {Kind::IsoTagOutOfRange, Kind::IsoTagOutOfRange, Outcome::FieldLeftOut,
     "fields left out for tags that ISO 2709 cannot hold",
     [](const RecordProblem& p) {
         return Field(p) + " left out: ISO 2709 tags run from 0 to 999";
     }},
    {Kind::IsoValueTooLong, Kind::IsoValueTooLong, Outcome::FieldLeftOut,
     "fields left out for values longer than ISO 2709 allows",
     [](const RecordProblem& p) {
         return Field(p) + " left out: its " + std::to_string(p.count) +
                " bytes are more than the 9998 of an ISO 2709 field";
     }},
    {Kind::IsoRecordTooLong, Kind::IsoRecordTooLong, Outcome::RecordLeftOut,
     "records left out for being longer than ISO 2709 allows",
     [](const RecordProblem& p) {
         return "record left out: its " + std::to_string(p.count) +
                " bytes in ISO 2709 are more than the 99999 a record can have";
     }},
    {Kind::IsoNothingLeft, Kind::IsoNothingLeft, Outcome::RecordLeftOut,
     "records left out for having no field that ISO 2709 can hold",
     [](const RecordProblem&) {
         return std::string("record left out: ISO 2709 can hold none of its fields");
     }},
    {Kind::IsoTerminatorInValue, Kind::IsoTerminatorInValue, Outcome::ValueAsStored,
     "records with a value that holds an ISO 2709 terminator, written as stored",
     [](const RecordProblem& p) {
         return Field(p) + " holds " + TerminatorName(p.byte) +
                "; written as stored, which readers that split on terminators will misread";
     }},
    {Kind::CsvTagWithoutColumn, Kind::CsvTagWithoutColumn, Outcome::FieldLeftOut,
     "fields left out for tags that the CSV has no column for",
     [](const RecordProblem& p) {
         return Field(p) +
                " left out: no record had its tag when the CSV's columns were found, so the "
                "database changed during the export";
     }},
};

constexpr bool RowsInOrder() {
    if (sizeof kRows / sizeof kRows[0] != static_cast<std::size_t>(Kind::kCount)) {
        return false;
    }
    for (std::size_t i = 0; i < sizeof kRows / sizeof kRows[0]; ++i) {
        const Row& row = kRows[i];
        const Row& counter = kRows[static_cast<std::size_t>(row.countedWith)];
        if (static_cast<std::size_t>(row.kind) != i || counter.countedWith != counter.kind ||
            (row.plural != nullptr) != (row.countedWith == row.kind)) {
            return false;
        }
    }
    return true;
}
static_assert(RowsInOrder(), "one row per kind, in order; a plural for each kind counted alone");

const Row& RowOf(Kind kind) {
    return kRows[static_cast<std::size_t>(kind)];
}

}  // namespace

std::string ProblemText(const RecordProblem& problem) {
    return RowOf(problem.kind).text(problem);
}

ProblemKind CountedWith(ProblemKind kind) {
    return RowOf(kind).countedWith;
}

const char* ProblemPlural(ProblemKind kind) {
    return RowOf(kind).plural;
}

Outcome OutcomeOf(ProblemKind kind) {
    return RowOf(kind).outcome;
}
