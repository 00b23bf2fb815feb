// JSON Lines: {"mfn":1,"fields":[{"tag":24,"value":"..."}]} per stored record;
// a field that the field definition table names has "name" after "tag", and
// with --subfields, "subfields":[["a","..."],...] in place of "value".
// JSON strings are UTF-8: values are converted from the database's code page
// when it is given; otherwise a value that is not valid UTF-8 gets U+FFFD for
// each offending byte, and a message asks for the code page.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FastWriting.hpp"
#include "Format.hpp"
#include "Subfields.hpp"
#include "ValueText.hpp"

namespace {

// A JSON string's escape at its longest: \u00XX.
constexpr std::size_t kLongestEscape = 6;
// Values are read and written 16 bytes at a time (see FastWriting.hpp).
constexpr std::size_t kBlock = fast::kBlock;

char* WriteEscape(char* out, unsigned char byte) {
    *out++ = '\\';
    switch (byte) {
        case '"':
        case '\\':
            *out++ = static_cast<char>(byte);
            return out;
        case '\n':
            *out++ = 'n';
            return out;
        case '\r':
            *out++ = 'r';
            return out;
        case '\t':
            *out++ = 't';
            return out;
        case '\b':
            *out++ = 'b';
            return out;
        case '\f':
            *out++ = 'f';
            return out;
        default:
            break;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::memcpy(out, "u00", 3);
    out[3] = kHex[byte >> 4];
    out[4] = kHex[byte & 0xF];
    return out + 5;
}

// Writes `length` bytes of UTF-8 as the inside of a JSON string at `out`,
// which has room for kLongestEscape * length + kBlock bytes.
char* WriteEscaped(char* out, const unsigned char* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char byte = bytes[i];
        if (byte < 0x20 || byte == '"' || byte == '\\') {
            out = WriteEscape(out, byte);
        } else {
            *out++ = static_cast<char>(byte);
        }
    }
    return out;
}

// What a value's bytes were written with U+FFFD for, over its pieces or its
// subfields: bytes the code page does not define, or, without a code page,
// bytes that are not UTF-8.
struct JsonProblems {
    ConversionProblem undefined;
    ConversionProblem notUtf8;
};

// Says what `problems` counted in the value of the field with `tag`.
void ReportJsonProblems(FormatContext& context, std::int32_t mfn, std::int32_t tag,
                        const JsonProblems& problems) {
    if (problems.undefined.badBytes > 0) {
        ReportBadBytes(context, mfn, tag, *context.charset, problems.undefined);
    }
    if (problems.notUtf8.badBytes > 0) {
        ReportNotUtf8(context, mfn, tag, problems.notUtf8);
    }
}

// Writes the `length` bytes at `bytes`, from the first that CopyJsonPlain
// does not take, as a JSON string's inside at `out`, which has room for
// MostJsonBytes(length); without a code page, bytes that are not UTF-8 are
// written as U+FFFD and counted in `notUtf8`.
char* WriteJsonRest(FormatContext& context, const unsigned char* bytes, std::size_t length,
                    char* out, ConversionProblem& notUtf8) {
    if (std::find_if(bytes, bytes + length, [](unsigned char byte) { return byte >= 0x80; }) !=
        bytes + length) {
        // Checked and mended as UTF-8 from here; the bytes before are ASCII.
        context.scratch.Clear();
        char* start = context.scratch.Room(Charset::kMostUtf8PerByte * length);
        const char* end = Charset::Utf8().ToUtf8(bytes, length, start, notUtf8);
        bytes = reinterpret_cast<const unsigned char*>(start);
        length = static_cast<std::size_t>(end - start);
    }
    return WriteEscaped(out, bytes, length);
}

// Writes the `length` bytes at `bytes` in the database's code page as a JSON
// string's inside at `out`, which has room for MostJsonBytes(length); bytes
// the code page does not define are counted in `undefined`.
char* WriteJsonConverted(FormatContext& context, const unsigned char* bytes, std::size_t length,
                         char* out, ConversionProblem& undefined) {
    // Converted first, into scratch room with 32 bytes to spare, which
    // CopyJsonPlain reads past the text.
    context.scratch.Clear();
    char* start = context.scratch.Room(Charset::kMostUtf8PerByte * length + fast::kOverrun);
    const char* end = context.charset->ToUtf8(bytes, length, start, undefined);
    bytes = reinterpret_cast<const unsigned char*>(start);
    length = static_cast<std::size_t>(end - start);
    const std::size_t plain = fast::CopyJsonPlain(out, bytes, length);
    return WriteEscaped(out + plain, bytes + plain, length - plain);
}

// Writes the `length` bytes at `bytes`, a value the record holds in memory or
// a subfield's text of one, as a JSON string's inside at `out`, which has
// room for MostJsonBytes(length); what is written as U+FFFD is counted in
// `problems`. Most values are ASCII that needs no escape: they are copied 16
// bytes at a time until a byte says otherwise, and the rest of the way is
// taken out of line.
inline char* WriteJsonText(FormatContext& context, const unsigned char* bytes, std::size_t length,
                           char* out, JsonProblems& problems) {
    if (context.charset != nullptr) {
        return WriteJsonConverted(context, bytes, length, out, problems.undefined);
    }
    const std::size_t plain = fast::CopyJsonPlain(out, bytes, length);
    if (plain == length) {
        return out + length;
    }
    return WriteJsonRest(context, bytes + plain, length - plain, out + plain, problems.notUtf8);
}

// WriteJsonValue's way for a value that is not all plain ASCII, or that is
// in a code page: from byte `plain` of it on, at `out`.
char* WriteJsonValueRest(FormatContext& context, std::int32_t mfn, const FieldValue& field,
                         std::size_t plain, char* out) {
    ConversionProblem problem;
    if (context.charset != nullptr) {
        out = WriteJsonConverted(context, field.bytes, field.length, out, problem);
        if (problem.badBytes > 0) {
            ReportBadBytes(context, mfn, field.tag, *context.charset, problem);
        }
        return out;
    }
    out = WriteJsonRest(context, field.bytes + plain, field.length - plain, out, problem);
    if (problem.badBytes > 0) {
        ReportNotUtf8(context, mfn, field.tag, problem);
    }
    return out;
}

// Writes the value of `field`, which the record holds in memory, as a JSON
// string's inside at `out`, which has room for MostJsonBytes(field.length):
// WriteJsonText, with its messages said at once.
inline char* WriteJsonValue(FormatContext& context, std::int32_t mfn, const FieldValue& field,
                            char* out) {
    if (context.charset != nullptr) {
        return WriteJsonValueRest(context, mfn, field, 0, out);
    }
    const std::size_t plain = fast::CopyJsonPlain(out, field.bytes, field.length);
    if (plain == field.length) {
        return out + plain;
    }
    return WriteJsonValueRest(context, mfn, field, plain, out + plain);
}

// The most bytes the value writers write for `length` stored bytes, and
// kOverrun more, which copies in blocks write past the end. A stored byte becomes at most 3 bytes
// of UTF-8 of 0x80 and above, which need no escape, or one ASCII byte, which escaped takes 6.
std::size_t MostJsonBytes(std::size_t length) {
    return kLongestEscape * length + fast::kOverrun;
}

// Writes the `length` bytes at `bytes`, a piece of a value, as the inside of
// a JSON string at `out`, which has room for MostJsonBytes(length): what
// WriteJsonValue writes for a whole value, without its way through ASCII.
char* WriteJsonPiece(FormatContext& context, const unsigned char* bytes, std::size_t length,
                     char* out, JsonProblems& problems) {
    const Charset* charset = context.charset;
    ConversionProblem* problem = &problems.undefined;
    if (charset == nullptr && std::find_if(bytes, bytes + length, [](unsigned char byte) {
                                  return byte >= 0x80;
                              }) != bytes + length) {
        charset = &Charset::Utf8();
        problem = &problems.notUtf8;
    }
    if (charset != nullptr) {
        context.scratch.Clear();
        char* start = context.scratch.Room(Charset::kMostUtf8PerByte * length);
        const char* end = charset->ToUtf8(bytes, length, start, *problem);
        bytes = reinterpret_cast<const unsigned char*>(start);
        length = static_cast<std::size_t>(end - start);
    }
    return WriteEscaped(out, bytes, length);
}

// Appends the value of `field`, a field of `record`, as a JSON string's
// inside to the output, a piece at a time.
void AppendJsonValue(FormatContext& context, const RecordFields& record, const FieldValue& field) {
    OutputFile& output = context.output;
    JsonProblems problems;
    const bool whole =
        ForEachPiece(record, field, [&](const unsigned char* bytes, std::size_t length) {
            char* out = output.Room(MostJsonBytes(length));
            output.Extend(WriteJsonPiece(context, bytes, length, out, problems));
        });
    ReportJsonProblems(context, record.mfn, field.tag, problems);
    if (!whole) {
        ReportUnreadValue(context, record.mfn, field.tag, ProblemKind::ValueCutShort);
    }
}

char* Put(char* out, const char* text, std::size_t length) {
    std::memcpy(out, text, length);
    return out + length;
}

// The most bytes a field's line takes around its value: ',{"tag":', the
// tag's digits copied whole, ',"value":"' and '"}'.
constexpr std::size_t kMostFieldMarkup = 8 + fast::kTagCopy + 10 + 2;
// '{"mfn":', the MFN's digits copied whole, ',"fields":[' and ']}\n'.
constexpr std::size_t kMostRecordMarkup = 7 + fast::MfnDigits::kCopy + 11 + 3;

// Writes what goes before the value of `field` at `out`, which has room for
// kMostFieldMarkup; returns its end.
inline char* WriteFieldOpening(const FieldValue& field, bool first, char* out) {
    if (static_cast<std::uint32_t>(field.tag) < 1000) {
        const fast::FieldOpenings::Opening& opening = fast::kFieldOpenings.tags[field.tag];
        const std::size_t skip = first ? 1 : 0;
        std::memcpy(out, opening.bytes + skip, sizeof opening.bytes - 1);
        return out + (opening.length - skip);
    }
    if (!first) {
        *out++ = ',';
    }
    out = Put(out, "{\"tag\":", 7);
    char digits[fast::kTagCopy];
    const std::size_t tagLength = fast::TagDigits(field.tag, digits);
    std::memcpy(out, digits, fast::kTagCopy);  // fixed size: no call
    out += tagLength;
    return Put(out, ",\"value\":\"", 10);
}

// Writes the field's part of the record's line at `out`, which has room for
// kMostFieldMarkup and MostJsonBytes(field.length); the record holds its
// value in memory.
char* WriteField(FormatContext& context, std::int32_t mfn, const FieldValue& field, bool first,
                 char* out) {
    out = WriteFieldOpening(field, first, out);
    out = WriteJsonValue(context, mfn, field, out);
    return Put(out, "\"}", 2);
}

void AppendJsonLinesRecord(const RecordFields& record, FormatContext& context) {
    if (record.state == RecordFields::State::NotStored) {
        return;
    }
    OutputFile& output = context.output;
    // Nearly every record is written in one piece; a larger one field by
    // field, and a value that lies in the file a piece at a time, so that
    // memory stays flat whatever it writes.
    const std::size_t most = kMostRecordMarkup + kMostFieldMarkup * record.fields.size() +
                             MostJsonBytes(record.valueBytes);
    const bool whole = record.valueReader == nullptr && most <= fast::kRecordRoom;
    char* out = output.Room(whole ? most : kMostRecordMarkup);
    out = Put(out, "{\"mfn\":", 7);
    out = context.mfnDigits.Write(record.mfn, out);
    out = Put(out, ",\"fields\":[", 11);
    bool first = true;
    for (const FieldValue& field : record.fields) {
        if (!whole) {
            output.Extend(out);
            if (field.bytes == nullptr) {
                output.Extend(WriteFieldOpening(field, first, output.Room(kMostFieldMarkup)));
                AppendJsonValue(context, record, field);
                out = output.Room(kMostRecordMarkup);
                out = Put(out, "\"}", 2);
                first = false;
                continue;
            }
            out = output.Room(kMostFieldMarkup + MostJsonBytes(field.length));
        }
        out = WriteField(context, record.mfn, field, first, out);
        first = false;
    }
    out = Put(out, "]}\n", 3);
    output.Extend(out);
}

// The markup that closes a subfield's pair and opens the next, with a code
// ('a', which the code replaces) and without; a first pair's opening is the
// same without the close, '"],'. Each is copied whole, the code put in.
constexpr char kPairWithCode[16] = "\"],[\"a\",\"";
constexpr char kPairWithout[16] = "\"],[\"\",\"";
constexpr std::size_t kPairClose = 3;

// Writes what opens a subfield's pair, '["a","', at `out`, closing the pair
// before it unless it is the first: '"],["a","'. The code '\0' is none.
char* PutPairOpening(char* out, char code, bool first) {
    const std::size_t skip = first ? kPairClose : 0;
    if (code != '\0') {
        std::memcpy(out, kPairWithCode + skip, 9);
        out[5 - skip] = code;
        return out + (9 - skip);
    }
    std::memcpy(out, kPairWithout + skip, 8);
    return out + (8 - skip);
}

// The most bytes of a pair's markup that PutPairOpening and the pair's end
// write: '"],["a","'. A delimiter's two bytes, which it stands for, are
// given room for 12 (MostJsonBytes).
constexpr std::size_t kMostPairMarkup = 3 + 6;

// A field's subfields as JSON pairs, ["a","Paris"],["b","Unesco"], written as
// the splitter finds them at `out`, which has room for them all: for a value
// of `length` bytes, MostJsonBytes(length) and kMostPairsAround.
class PairsAt {
  public:
    // '["","' that no delimiter stands for, and '"]' after the last pair.
    static constexpr std::size_t kMostPairsAround = 5 + 2;

    PairsAt(FormatContext& context, JsonProblems& problems, char* out)
        : context_(context), problems_(problems), out_(out) {}

    void Start(char code) {
        out_ = PutPairOpening(out_, code, first_);
        first_ = false;
    }
    void Text(const unsigned char* bytes, std::size_t length) {
        out_ = WriteJsonText(context_, bytes, length, out_, problems_);
    }
    // Closes the last pair (the splitter starts at least one); returns the end.
    char* Finish() { return Put(out_, "\"]", 2); }

  private:
    FormatContext& context_;
    JsonProblems& problems_;
    char* out_;
    bool first_ = true;
};

// The pairs of a value that lies in the file, a piece at a time: each pair's
// text goes to the output as it comes.
class PairsToOutput {
  public:
    PairsToOutput(FormatContext& context, JsonProblems& problems)
        : context_(context), problems_(problems) {}

    void Start(char code) {
        OutputFile& output = context_.output;
        output.Extend(PutPairOpening(output.Room(kMostPairMarkup), code, first_));
        first_ = false;
    }
    void Text(const unsigned char* bytes, std::size_t length) {
        char* out = context_.output.Room(MostJsonBytes(length));
        context_.output.Extend(WriteJsonText(context_, bytes, length, out, problems_));
    }
    void Finish() { context_.output.Append("\"]", 2); }

  private:
    FormatContext& context_;
    JsonProblems& problems_;
    bool first_ = true;
};

// The next delimiter of the `length` bytes at `bytes` from `at` on: where a
// '^' is followed by a code; `length` when there is none.
std::size_t NextDelimiter(const unsigned char* bytes, std::size_t at, std::size_t length) {
    for (;;) {
        at += fast::Find(bytes + at, length - at, '^');
        if (at + 1 >= length) {
            return length;
        }
        if (subfields::IsCode(bytes[at + 1])) {
            return at;
        }
        ++at;
    }
}

// Writes what opens the first pair of the value at `bytes`: '["a","' when
// it starts with a delimiter, '["","' otherwise, at `out`; returns how many
// of its bytes the opening stands for, 2 or 0. Without a branch: about one
// value in four starts with a delimiter, in no order a branch could learn.
// The value has slack after it, so its first two bytes can be read.
inline std::size_t PutFirstPairOpening(char* out, const unsigned char* bytes, std::size_t length,
                                       char*& end) {
    const bool delimited = (length >= 2) & (bytes[0] == '^') & subfields::IsCode(bytes[1]);
    std::memcpy(out, (delimited ? kPairWithCode : kPairWithout) + kPairClose, 8);
    out[2] = delimited ? subfields::CodeOf(bytes[1]) : '"';
    end = out + 5 + static_cast<std::size_t>(delimited);
    return delimited ? 2 : 0;
}

// Whether the `rest` bytes at `text` have a delimiter at `at`, a '^'.
inline bool IsDelimiterAt(const unsigned char* text, std::size_t at, std::size_t rest) {
    return text[at] == '^' && at + 1 < rest && subfields::IsCode(text[at + 1]);
}

// Writes what ends a pair and opens the next, '"],["a","', for the delimiter
// whose code byte is `code` at `out`, which has room for 16 bytes.
inline char* PutNextPairOpening(char* out, unsigned char code) {
    std::memcpy(out, kPairWithCode, sizeof kPairWithCode);  // fixed size: no call
    out[5] = subfields::CodeOf(code);
    return out + 9;
}

// Writes the subfields of a value held in memory, without a code page, as
// JSON pairs at `out`, which has room for MostJsonBytes(length) and
// PairsAt::kMostPairsAround: what the splitter and PairsAt write, in one pass
// over the value, 32 bytes at a time, which takes most values whole. Each
// 32 bytes are copied at once; each delimiter among them ends a pair, opens
// the next and copies the bytes after it once more, behind the markup. Any
// other stop, a '^' that is text or a byte to escape or check, is taken on
// its own. Bytes that are not UTF-8 are counted in `notUtf8`.
char* WritePlainPairs(FormatContext& context, const unsigned char* bytes, std::size_t length,
                      char* out, ConversionProblem& notUtf8) {
    const unsigned char* const end = bytes + length;
    const unsigned char* in = bytes + PutFirstPairOpening(out, bytes, length, out);
    while (in < end) {
        const auto rest = static_cast<std::size_t>(end - in);
        std::uint32_t stops = fast::OnlyFirstOf32(
            fast::JsonTextStops(in) | fast::JsonTextStops(in + kBlock) << kBlock, rest);
        std::memcpy(out, in, fast::kValueBlock);
        std::size_t written = 0;  // the bytes from `in` that `out` is past
        for (; stops != 0; stops &= stops - 1) {
            const std::size_t at = fast::LowestBit(stops);
            if (!IsDelimiterAt(in, at, rest)) {
                break;
            }
            out = PutNextPairOpening(out + (at - written), in[at + 1]);
            written = at + 2;
            std::memcpy(out, in + written, fast::kValueBlock);
        }
        if (stops == 0) {
            // Plain text to the end of the 32 bytes, or past them when the
            // code of a delimiter at their end was the next byte.
            const std::size_t taken = std::max(std::min(rest, fast::kValueBlock), written);
            out += taken - written;
            in += taken;
            continue;
        }
        const std::size_t at = fast::LowestBit(stops);
        out += at - written;
        in += at;
        if (*in == '^') {
            *out++ = '^';  // text: no code follows
            ++in;
        } else {
            // A byte to escape or to check: the rest of this subfield's text
            // goes the slow way.
            const auto from = static_cast<std::size_t>(in - bytes);
            const std::size_t next = NextDelimiter(bytes, from, length);
            out = WriteJsonRest(context, in, next - from, out, notUtf8);
            in = bytes + next;
        }
    }
    return Put(out, "\"]", 2);
}

// JSON Lines with what the database says of its values beyond their bytes:
// the name the field definition table gives a tag, after "tag", and with
// --subfields, "subfields" in place of "value". As in AppendJsonLinesRecord,
// nearly every record is written in one piece, a larger one field by field,
// and a value that lies in the file a piece at a time.
class StructuredRecords {
  public:
    StructuredRecords(const FieldNames* names, bool subfields, bool converted)
        : names_(names),
          subfields_(subfields),
          plainPairs_(subfields && !converted),
          openings_(1000),
          longOpenings_(1000) {
        for (std::int32_t tag = 0; tag < 1000; ++tag) {
            const std::string text = MakeOpening(tag);
            Opening& opening = openings_[static_cast<std::size_t>(tag)];
            if (text.size() <= kOpeningCopy) {
                opening.length = static_cast<unsigned char>(text.size());
                std::memcpy(opening.bytes, text.data(), text.size());
            } else {
                opening.length = kLongOpening;
                longOpenings_[static_cast<std::size_t>(tag)] = text;
            }
            openingRoom_ = std::max(openingRoom_, text.size());
        }
    }

    void Append(const RecordFields& record, FormatContext& context) {
        if (record.state == RecordFields::State::NotStored) {
            return;
        }
        OutputFile& output = context.output;
        const std::size_t most = kMostRecordMarkup +
                                 (openingRoom_ + kMostFieldEnd) * record.fields.size() +
                                 MostJsonBytes(record.valueBytes);
        const bool whole = record.valueReader == nullptr && most <= fast::kRecordRoom;
        char* out = output.Room(whole ? most : kMostRecordMarkup);
        out = Put(out, "{\"mfn\":", 7);
        out = context.mfnDigits.Write(record.mfn, out);
        out = Put(out, ",\"fields\":[", 11);
        bool first = true;
        for (const FieldValue& field : record.fields) {
            if (!whole) {
                output.Extend(out);
                if (field.bytes == nullptr) {
                    AppendFieldInPieces(context, record, field, first);
                    out = output.Room(kMostRecordMarkup);
                    first = false;
                    continue;
                }
                out = output.Room(openingRoom_ + kMostFieldEnd + MostJsonBytes(field.length));
            }
            out = WriteField(context, record.mfn, field, first, out);
            first = false;
        }
        output.Extend(Put(out, "]}\n", 3));
    }

  private:
    // Openings are copied in blocks of this many bytes, from a table of a
    // cache line a tag; a long name makes a few longer, and those are
    // copied as they are.
    static constexpr std::size_t kOpeningCopy = 62;
    static constexpr unsigned char kLongOpening = 0xFF;
    // After a value: '"}'; after subfields: '["","', '"]' and ']}'.
    static constexpr std::size_t kMostFieldEnd = PairsAt::kMostPairsAround + 2;

    struct alignas(64) Opening {
        unsigned char length = 0;
        char bytes[63] = {};
    };

    // ',{"tag":24,"name":"Title","value":"', or ending ',"subfields":[';
    // names are only given to the tags 1 to 999.
    std::string MakeOpening(std::int32_t tag) const {
        std::string opening = ",{\"tag\":" + std::to_string(tag);
        const std::string* name = names_ != nullptr ? names_->NameOf(tag) : nullptr;
        if (name != nullptr) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(name->data());
            std::string escaped(kLongestEscape * name->size(), '\0');
            escaped.resize(static_cast<std::size_t>(WriteEscaped(&escaped[0], bytes, name->size()) -
                                                    escaped.data()));
            opening += ",\"name\":\"" + escaped + "\"";
        }
        return opening + (subfields_ ? ",\"subfields\":[" : ",\"value\":\"");
    }

    // Writes the opening of a field with `tag` at `out`, which has room for
    // openingRoom_ bytes (an opening of a tag outside 0 to 999 takes at most
    // 33); the first field of a record's has no comma.
    char* PutOpening(std::int32_t tag, bool first, char* out) const {
        const std::size_t skip = first ? 1 : 0;
        if (tag >= 0 && tag < 1000) {
            const Opening& opening = openings_[static_cast<std::size_t>(tag)];
            if (opening.length != kLongOpening) {
                std::memcpy(out, opening.bytes + skip, kOpeningCopy);  // fixed size: no call
                return out + (opening.length - skip);
            }
            const std::string& text = longOpenings_[static_cast<std::size_t>(tag)];
            return Put(out, text.data() + skip, text.size() - skip);
        }
        // A tag outside 0 to 999 has no name.
        if (!first) {
            *out++ = ',';
        }
        char digits[fast::kTagCopy];
        out = Put(out, "{\"tag\":", 7);
        out = Put(out, digits, fast::TagDigits(tag, digits));
        return subfields_ ? Put(out, ",\"subfields\":[", 14) : Put(out, ",\"value\":\"", 10);
    }

    // Writes the field of record `mfn`, whose value it holds in memory, at
    // `out`, which has room for openingRoom_, kMostFieldEnd and
    // MostJsonBytes(field.length).
    char* WriteField(FormatContext& context, std::int32_t mfn, const FieldValue& field, bool first,
                     char* out) {
        out = PutOpening(field.tag, first, out);
        if (plainPairs_) {
            // The common way, on its own: only bytes that are not UTF-8 to say.
            ConversionProblem notUtf8;
            out = Put(WritePlainPairs(context, field.bytes, field.length, out, notUtf8), "]}", 2);
            if (notUtf8.badBytes > 0) {
                ReportNotUtf8(context, mfn, field.tag, notUtf8);
            }
            return out;
        }
        JsonProblems problems;
        if (!subfields_) {
            out = WriteJsonText(context, field.bytes, field.length, out, problems);
            out = Put(out, "\"}", 2);
        } else {
            PairsAt pairs(context, problems, out);
            splitter_.Piece(field.bytes, field.length, pairs);
            splitter_.End(pairs);
            out = Put(pairs.Finish(), "]}", 2);
        }
        ReportJsonProblems(context, mfn, field.tag, problems);
        return out;
    }

    // Appends the field, whose value lies in the file, to the output a
    // piece at a time.
    void AppendFieldInPieces(FormatContext& context, const RecordFields& record,
                             const FieldValue& field, bool first) {
        OutputFile& output = context.output;
        output.Extend(PutOpening(field.tag, first, output.Room(openingRoom_)));
        if (!subfields_) {
            AppendJsonValue(context, record, field);
            output.Append("\"}", 2);
            return;
        }
        JsonProblems problems;
        PairsToOutput pairs(context, problems);
        const bool whole =
            ForEachPiece(record, field, [&](const unsigned char* bytes, std::size_t length) {
                splitter_.Piece(bytes, length, pairs);
            });
        splitter_.End(pairs);
        pairs.Finish();
        output.Append("]}", 2);
        ReportJsonProblems(context, record.mfn, field.tag, problems);
        if (!whole) {
            ReportUnreadValue(context, record.mfn, field.tag, ProblemKind::ValueCutShort);
        }
    }

    const FieldNames* names_;
    bool subfields_;
    // Subfields without a code page: the common way.
    bool plainPairs_;
    std::vector<Opening> openings_;
    // The openings longer than kOpeningCopy, by tag; empty for the others.
    std::vector<std::string> longOpenings_;
    // The most bytes an opening takes, or is copied in: kOpeningCopy at least.
    std::size_t openingRoom_ = kOpeningCopy;
    subfields::Splitter splitter_;
};

class JsonLinesWriter final : public FormatWriter {
  public:
    explicit JsonLinesWriter(const FormatOptions& options)
        : subfields_(options.Given("subfields") != nullptr) {}

    void Begin(FormatContext& context) override {
        if (subfields_ || context.names != nullptr) {
            structured_ = std::make_unique<StructuredRecords>(context.names, subfields_,
                                                              context.charset != nullptr);
        }
    }
    void Append(const RecordFields& record, FormatContext& context) override {
        if (structured_ != nullptr) {
            structured_->Append(record, context);
        } else {
            AppendJsonLinesRecord(record, context);
        }
    }

  private:
    bool subfields_;
    std::unique_ptr<StructuredRecords> structured_;
};

}  // namespace

const Format& JsonLinesFormat() {
    static const Format format{
        "jsonl",
        {{"subfields", nullptr, "jsonl: values as [code, text] pairs of subfields", {}}},
        false,
        [](const FormatOptions& options) {
            return std::unique_ptr<FormatWriter>(new JsonLinesWriter(options));
        },
        true};
    return format;
}
