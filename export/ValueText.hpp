// A field's value in the output's character set: as stored, or converted to
// UTF-8 from the database's code page, with a message for each value that
// holds a byte the code page does not define.
#pragma once

#include <cstring>
#include <optional>

#include "FastWriting.hpp"
#include "Format.hpp"
#include "ValuePieces.hpp"

// The most bytes WritePiece writes for `length` stored bytes.
inline std::size_t MostValueBytes(const FormatContext& context, std::size_t length) {
    return context.charset != nullptr ? Charset::kMostUtf8PerByte * length : length;
}

// Says that a value of record `mfn` was written with U+FFFD in place of bytes
// that `charset` does not define.
void ReportBadBytes(FormatContext& context, std::int32_t mfn, std::int32_t tag,
                    const Charset& charset, const ConversionProblem& problem);

// Says that a value of record `mfn`, written in UTF-8 without a code page,
// is not UTF-8, and was written with U+FFFD.
void ReportNotUtf8(FormatContext& context, std::int32_t mfn, std::int32_t tag,
                   const ConversionProblem& problem);

// Says that the value of the field with `tag` of record `mfn` could not be
// read whole; `kind` says what became of it.
void ReportUnreadValue(FormatContext& context, std::int32_t mfn, std::int32_t tag,
                       ProblemKind kind);

// The bytes WriteValue writes for `field`, which the record holds in memory.
inline std::size_t ValueBytes(const FormatContext& context, const FieldValue& field) {
    return context.charset != nullptr ? context.charset->Utf8Length(field.bytes, field.length)
                                      : field.length;
}

// The bytes the value of `field`, a field of `record` that lies in the file,
// takes in the output's character set; nothing when a piece cannot be read.
std::optional<std::size_t> ValueBytesInPieces(FormatContext& context, const RecordFields& record,
                                              const FieldValue& field);

// Writes the `length` bytes at `bytes`, a value or a piece of one, at `out`,
// which has room for MostValueBytes and fast::kOverrun more; returns its end.
// Bytes the code page does not define are counted in `problem`.
inline char* WritePiece(const FormatContext& context, const unsigned char* bytes,
                        std::size_t length, char* out, ConversionProblem& problem) {
    // ASCII is itself in every encoding: most values need only a copy.
    if (context.charset == nullptr || fast::IsAscii(bytes, length)) {
        return fast::CopyValue(out, bytes, length);
    }
    return context.charset->ToUtf8(bytes, length, out, problem);
}

// Writes the value of `field`, which record `mfn` holds in memory, at `out`,
// which has room for MostValueBytes(field.length) and fast::kOverrun more;
// returns its end.
inline char* WriteValue(FormatContext& context, std::int32_t mfn, const FieldValue& field,
                        char* out) {
    // ASCII is itself in every encoding: most values need only a copy.
    if (context.charset == nullptr || fast::IsAscii(field.bytes, field.length)) {
        return fast::CopyValue(out, field.bytes, field.length);
    }
    ConversionProblem problem;
    out = context.charset->ToUtf8(field.bytes, field.length, out, problem);
    if (problem.badBytes > 0) {
        ReportBadBytes(context, mfn, field.tag, *context.charset, problem);
    }
    return out;
}

// WriteValue for `field`, a field of `record` that lies in the file; nullptr
// when a piece cannot be read.
char* WriteValueInPieces(FormatContext& context, const RecordFields& record,
                         const FieldValue& field, char* out);

// Appends the value of `field`, a field of `record`, to the output a piece
// at a time, so that the output's memory stays flat however long it is. A
// value that cannot be read whole is written cut short, with a message.
void AppendValue(FormatContext& context, const RecordFields& record, const FieldValue& field);
