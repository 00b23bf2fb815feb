// A field's value in the output's character set: as stored, or converted to
// UTF-8 from the database's code page, with a message for each value that
// holds a byte the code page does not define.
#pragma once

#include <cstring>

#include "ByteBlocks.hpp"
#include "Format.hpp"
#include "TaggedLines.hpp"

// The most bytes WriteValue writes for `field`.
inline std::size_t MostValueBytes(const FormatContext& context, const FieldValue& field) {
    return context.charset != nullptr ? Charset::kMostUtf8PerByte * field.length : field.length;
}

// The bytes WriteValue writes for `field`.
inline std::size_t ValueBytes(const FormatContext& context, const FieldValue& field) {
    return context.charset != nullptr ? context.charset->Utf8Length(field.bytes, field.length)
                                      : field.length;
}

// Says that a value of record `mfn` was written with U+FFFD in place of bytes
// that `charset` does not define.
void ReportBadBytes(FormatContext& context, std::int32_t mfn, std::int32_t tag,
                    const Charset& charset, const ConversionProblem& problem);

// Writes the value of `field`, of record `mfn`, at `out`, which has room for
// MostValueBytes and tagged::kValueBlock more; returns its end. The value lies
// in the master file's buffers, whose slack lets it be read in whole blocks.
inline char* WriteValue(FormatContext& context, std::int32_t mfn, const FieldValue& field,
                        char* out) {
    // ASCII is itself in every encoding: most values need only a copy.
    if (context.charset == nullptr || blocks::IsAscii(field.bytes, field.length)) {
        return tagged::CopyValue(out, field.bytes, field.length);
    }
    ConversionProblem problem;
    out = context.charset->ToUtf8(field.bytes, field.length, out, problem);
    if (problem.badBytes > 0) {
        ReportBadBytes(context, mfn, field.tag, *context.charset, problem);
    }
    return out;
}
