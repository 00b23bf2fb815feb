#include <cstring>

#include "Format.hpp"
#include "TaggedLines.hpp"
#include "ValueText.hpp"

void AppendTaggedRecord(const RecordFields& record, FormatContext& context) {
    OutputFile& output = context.output;
    static constexpr char kOpen[] = "[RECORD ";
    constexpr std::size_t kOpenLength = sizeof kOpen - 1;
    const std::string_view mfn = context.mfnDigits.Of(record.mfn);
    char* out = output.Room(kOpenLength + mfn.size() + 2);
    std::memcpy(out, kOpen, kOpenLength);
    out += kOpenLength;
    std::memcpy(out, mfn.data(), mfn.size());
    out += mfn.size();
    *out++ = ']';
    *out++ = '\n';
    output.Extend(out);
    if (context.charset == nullptr) {
        tagged::AppendLines(record, output);
    } else {
        for (const FieldValue& field : record.fields) {
            out = output.Room(tagged::kMostMarkup + tagged::kOverrun +
                              MostValueBytes(context, field));
            output.Extend(tagged::WriteLine(out, field.tag, [&](char* at) {
                return WriteValue(context, record.mfn, field, at);
            }));
        }
    }
    output.Append("\n\n", 2);
}
