// Tagged text: "[RECORD n]", a line "<TAG>value</TAG>" per field, then two
// empty lines. Every MFN has its block, stored or not.
#include <cstring>
#include <memory>

#include "Format.hpp"
#include "TaggedLines.hpp"
#include "ValueText.hpp"

namespace {

constexpr char kOpen[] = "[RECORD ";
constexpr std::size_t kOpenLength = sizeof kOpen - 1;
// "[RECORD 2147483647]\n" at the longest.
constexpr std::size_t kMostHeader = kOpenLength + 10 + 2;

char* WriteHeader(char* out, std::string_view mfn) {
    std::memcpy(out, kOpen, kOpenLength);
    out += kOpenLength;
    std::memcpy(out, mfn.data(), mfn.size());
    out += mfn.size();
    *out++ = ']';
    *out++ = '\n';
    return out;
}

void AppendTaggedRecord(const RecordFields& record, FormatContext& context) {
    OutputFile& output = context.output;
    const std::string_view mfn = context.mfnDigits.Of(record.mfn);
    const Charset* charset = context.charset;
    // Nearly every record is written in one piece: header, lines, and the
    // two line feeds after them.
    if (record.valueReader == nullptr) {
        const std::size_t valueRoom =
            charset != nullptr ? Charset::kMostUtf8PerByte * record.valueBytes : record.valueBytes;
        const std::size_t most =
            kMostHeader + tagged::MostLineBytes(record) - record.valueBytes + valueRoom + 2;
        if (most <= tagged::kRecordRoom) {
            char* out = WriteHeader(output.Room(most), mfn);
            if (charset == nullptr) {
                out = tagged::WriteLines(out, record);
            } else {
                for (const FieldValue& field : record.fields) {
                    out = tagged::WriteLine(out, field.tag, [&](char* at) {
                        return WriteValue(context, record.mfn, field, at);
                    });
                }
            }
            *out++ = '\n';
            *out++ = '\n';
            output.Extend(out);
            return;
        }
    }
    // A record too large for one piece, or whose values lie in the file,
    // goes line by line and value by value, so that memory stays flat
    // whatever it writes.
    output.Extend(WriteHeader(output.Room(kMostHeader), mfn));
    for (const FieldValue& field : record.fields) {
        output.Extend(tagged::WriteOpen(output.Room(tagged::kMostMarkup), field.tag));
        AppendValue(context, record, field);
        output.Extend(tagged::WriteClose(output.Room(tagged::kMostMarkup), field.tag));
    }
    output.Append("\n\n", 2);
}

class TaggedWriter final : public FormatWriter {
  public:
    void Append(const RecordFields& record, FormatContext& context) override {
        AppendTaggedRecord(record, context);
    }
};

}  // namespace

extern const Format kTaggedFormat{"tagged", {}, false, [](const FormatOptions&) {
                                      return std::unique_ptr<FormatWriter>(new TaggedWriter);
                                  }};
