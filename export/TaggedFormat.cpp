// Tagged text: "[RECORD n]", a line "<TAG>value</TAG>" per field, then two
// empty lines. Every MFN has its block, stored or not.
#include <cstring>
#include <memory>

#include "FastWriting.hpp"
#include "Format.hpp"
#include "ValueText.hpp"

namespace {

// A line's markup around its value at the most: '<', tag, '>', "</", tag, ">\n".
constexpr std::size_t kMostMarkup = 1 + fast::kTagCopy + 1 + 2 + fast::kTagCopy + 2;

// Writes "<tag>" at `out`, which has room for kMostMarkup bytes; returns its
// end.
char* WriteOpen(char* out, std::int32_t tag) {
    if (tag >= 0 && tag < 1000) {
        const fast::SmallTagMarkup::Markup& markup = fast::kSmallTagMarkup.tags[tag];
        std::memcpy(out, markup.open, 8);
        return out + markup.openLength;
    }
    char digits[fast::kTagCopy];
    const std::size_t tagLength = fast::TagDigits(tag, digits);
    *out++ = '<';
    std::memcpy(out, digits, fast::kTagCopy);
    out += tagLength;
    *out++ = '>';
    return out;
}

// Writes "</tag>\n" at `out`, which has room for kMostMarkup bytes; returns
// its end.
char* WriteClose(char* out, std::int32_t tag) {
    if (tag >= 0 && tag < 1000) {
        const fast::SmallTagMarkup::Markup& markup = fast::kSmallTagMarkup.tags[tag];
        std::memcpy(out, markup.close, 8);
        return out + markup.closeLength;
    }
    char digits[fast::kTagCopy];
    const std::size_t tagLength = fast::TagDigits(tag, digits);
    *out++ = '<';
    *out++ = '/';
    std::memcpy(out, digits, fast::kTagCopy);
    out += tagLength;
    *out++ = '>';
    *out++ = '\n';
    return out;
}

// Writes the line of `tag` at `out`, which has room for the line and
// fast::kOverrun more bytes; `writeValue(at)` writes the value at `at` and returns
// its end. Returns where the line ends.
template <typename WriteValue>
char* WriteLine(char* out, std::int32_t tag, WriteValue&& writeValue) {
    return WriteClose(writeValue(WriteOpen(out, tag)), tag);
}

// The line of a field whose value is written as stored.
char* WriteLine(char* out, const FieldValue& field) {
    // The usual tags take the shortest way.
    if (static_cast<std::uint32_t>(field.tag) < 1000) {
        const fast::SmallTagMarkup::Markup& markup = fast::kSmallTagMarkup.tags[field.tag];
        std::memcpy(out, markup.open, 8);
        out = fast::CopyValue(out + markup.openLength, field.bytes, field.length);
        std::memcpy(out, markup.close, 8);
        return out + markup.closeLength;
    }
    return WriteLine(out, field.tag,
                     [&field](char* at) { return fast::CopyValue(at, field.bytes, field.length); });
}

// The most bytes the lines of `record` take, and fast::kOverrun more.
std::size_t MostLineBytes(const RecordFields& record) {
    return kMostMarkup * record.fields.size() + record.valueBytes + fast::kOverrun;
}

// Writes the lines of `record` at `out`, which has room for MostLineBytes;
// returns where they end.
char* WriteLines(char* out, const RecordFields& record) {
    for (const FieldValue& field : record.fields) {
        out = WriteLine(out, field);
    }
    return out;
}

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
            kMostHeader + MostLineBytes(record) - record.valueBytes + valueRoom + 2;
        if (most <= fast::kRecordRoom) {
            char* out = WriteHeader(output.Room(most), mfn);
            if (charset == nullptr) {
                out = WriteLines(out, record);
            } else {
                for (const FieldValue& field : record.fields) {
                    out = WriteLine(out, field.tag, [&](char* at) {
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
        output.Extend(WriteOpen(output.Room(kMostMarkup), field.tag));
        AppendValue(context, record, field);
        output.Extend(WriteClose(output.Room(kMostMarkup), field.tag));
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

const Format& TaggedFormat() {
    static const Format format{"tagged", {}, false, [](const FormatOptions&) {
                                   return std::unique_ptr<FormatWriter>(new TaggedWriter);
                               }};
    return format;
}
