#include "ValueText.hpp"

void ReportBadBytes(FormatContext& context, std::int32_t mfn, std::int32_t tag,
                    const Charset& charset, const ConversionProblem& problem) {
    RecordProblem said{ProblemKind::UndefinedByte, mfn, tag};
    said.byte = problem.firstBadByte;
    said.count = problem.badBytes;
    said.codePage = &charset == &Charset::Utf8() ? nullptr : charset.Name();
    context.Report(said);
}

void ReportNotUtf8(FormatContext& context, std::int32_t mfn, std::int32_t tag,
                   const ConversionProblem& problem) {
    RecordProblem said{ProblemKind::NotUtf8, mfn, tag};
    said.byte = problem.firstBadByte;
    said.count = problem.badBytes;
    context.Report(said);
}

void ReportUnreadValue(FormatContext& context, std::int32_t mfn, std::int32_t tag,
                       ProblemKind kind) {
    context.Report({kind, mfn, tag});
}

std::optional<std::size_t> ValueBytesInPieces(FormatContext& context, const RecordFields& record,
                                              const FieldValue& field) {
    std::size_t length = 0;
    if (!ForEachPiece(record, field, [&](const unsigned char* bytes, std::size_t count) {
            length += context.charset->Utf8Length(bytes, count);
        })) {
        return std::nullopt;
    }
    return length;
}

char* WriteValueInPieces(FormatContext& context, const RecordFields& record,
                         const FieldValue& field, char* out) {
    ConversionProblem problem;
    const bool whole =
        ForEachPiece(record, field, [&](const unsigned char* bytes, std::size_t length) {
            out = WritePiece(context, bytes, length, out, problem);
        });
    if (problem.badBytes > 0) {
        ReportBadBytes(context, record.mfn, field.tag, *context.charset, problem);
    }
    return whole ? out : nullptr;
}

void AppendValue(FormatContext& context, const RecordFields& record, const FieldValue& field) {
    OutputFile& output = context.output;
    ConversionProblem problem;
    const bool whole =
        ForEachPiece(record, field, [&](const unsigned char* bytes, std::size_t length) {
            char* out = output.Room(MostValueBytes(context, length) + fast::kOverrun);
            output.Extend(WritePiece(context, bytes, length, out, problem));
        });
    if (problem.badBytes > 0) {
        ReportBadBytes(context, record.mfn, field.tag, *context.charset, problem);
    }
    if (!whole) {
        ReportUnreadValue(context, record.mfn, field.tag, ProblemKind::ValueCutShort);
    }
}
