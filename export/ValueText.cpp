#include "ValueText.hpp"

#include <cstdio>

void ReportBadBytes(FormatContext& context, std::int32_t mfn, std::int32_t tag,
                    const Charset& charset, const ConversionProblem& problem) {
    context.AboutRecord(MessageKind::UndefinedByte, mfn, [&] {
        char byte[8];
        (void)std::snprintf(byte, sizeof byte, "0x%02X",
                            static_cast<unsigned>(problem.firstBadByte));
        const bool utf8 = &charset == &Charset::Utf8();
        std::string text = "field with tag " + std::to_string(tag) + " holds byte " + byte +
                           (utf8 ? " that is not valid UTF-8"
                                 : std::string(", which ") + charset.Name() + " does not define");
        if (problem.badBytes > 1) {
            text += " (" + std::to_string(problem.badBytes) + " such bytes)";
        }
        return text + "; written as U+FFFD";
    });
}

void ReportUnreadValue(FormatContext& context, std::int32_t mfn, std::int32_t tag,
                       const char* consequence) {
    context.AboutRecord(MessageKind::ReadError, mfn, [&] {
        return "field with tag " + std::to_string(tag) +
               " could not be read to its end (a read error)" + consequence;
    });
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
            char* out = output.Room(MostValueBytes(context, length) + tagged::kOverrun);
            output.Extend(WritePiece(context, bytes, length, out, problem));
        });
    if (problem.badBytes > 0) {
        ReportBadBytes(context, record.mfn, field.tag, *context.charset, problem);
    }
    if (!whole) {
        ReportUnreadValue(context, record.mfn, field.tag, "; written cut short");
    }
}
