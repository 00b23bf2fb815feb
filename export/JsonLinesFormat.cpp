// JSON Lines: {"mfn":1,"fields":[{"tag":24,"value":"..."}]} per stored record.
// JSON strings are UTF-8: values are converted from the database's code page
// when it is given; otherwise a value that is not valid UTF-8 gets U+FFFD for
// each offending byte, and a message asks for the code page.
#include <cstdio>
#include <cstring>

#include "Format.hpp"
#include "TaggedLines.hpp"
#include "ValueText.hpp"

namespace {

// A JSON string's escape at its longest: \u00XX.
constexpr std::size_t kLongestEscape = 6;

constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHighs = 0x8080808080808080u;

std::uint64_t Load8(const unsigned char* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// Whether any of the 8 bytes of `word` is zero.
constexpr std::uint64_t AnyZero(std::uint64_t word) {
    return (word - kOnes) & ~word & kHighs;
}

// Whether any of the 8 bytes of `word` needs an escape in a JSON string: a
// control character, '"' or '\'. Bytes of 0x80 and above do not.
constexpr bool AnyToEscape(std::uint64_t word) {
    const std::uint64_t low = (word - 0x20 * kOnes) & ~word & kHighs;  // below 0x20
    return (low | AnyZero(word ^ ('"' * kOnes)) | AnyZero(word ^ ('\\' * kOnes))) != 0;
}

bool AnyHighByte(const unsigned char* bytes, std::size_t length) {
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        if ((Load8(bytes + i) & kHighs) != 0) {
            return true;
        }
    }
    for (; i < length; ++i) {
        if (bytes[i] >= 0x80) {
            return true;
        }
    }
    return false;
}

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

// Writes `length` bytes of UTF-8 as the inside of a JSON string. Most values
// need no escape: they are copied 8 bytes at a time.
char* WriteJsonText(char* out, const unsigned char* bytes, std::size_t length) {
    std::size_t i = 0;
    while (i < length) {
        const std::size_t run = i;
        while (i + 8 <= length && !AnyToEscape(Load8(bytes + i))) {
            i += 8;
        }
        while (i < length && bytes[i] >= 0x20 && bytes[i] != '"' && bytes[i] != '\\') {
            ++i;
        }
        std::memcpy(out, bytes + run, i - run);
        out += i - run;
        if (i < length) {
            out = WriteEscape(out, bytes[i++]);
        }
    }
    return out;
}

char* Put(char* out, const char* text, std::size_t length) {
    std::memcpy(out, text, length);
    return out + length;
}

// The value of `field` in UTF-8, in the context's scratch room when it had to
// be converted.
std::string_view Utf8Value(FormatContext& context, std::int32_t mfn, const FieldValue& field) {
    const Charset* charset = context.charset;
    const bool given = charset != nullptr;
    if (!given) {
        if (!AnyHighByte(field.bytes, field.length)) {
            return {reinterpret_cast<const char*>(field.bytes), field.length};
        }
        charset = &Charset::Utf8();
    }
    context.scratch.Clear();
    char* start = context.scratch.Room(Charset::kMostUtf8PerByte * field.length);
    ConversionProblem problem;
    const char* end = charset->ToUtf8(field.bytes, field.length, start, problem);
    if (problem.badBytes > 0 && given) {
        ReportBadBytes(context, mfn, field.tag, *charset, problem);
    } else if (problem.badBytes > 0) {
        context.AboutRecord(MessageKind::NotUtf8, mfn, [&] {
            char byte[8];
            std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned>(problem.firstBadByte));
            return "field with tag " + std::to_string(field.tag) + " is not valid UTF-8 (byte " +
                   byte +
                   (problem.badBytes > 1 ? ", " + std::to_string(problem.badBytes) + " such bytes"
                                         : std::string()) +
                   "); written with U+FFFD: give --encoding with the database's code page";
        });
    }
    return {start, static_cast<std::size_t>(end - start)};
}

}  // namespace

void AppendJsonLinesRecord(const RecordFields& record, FormatContext& context) {
    if (record.state == RecordFields::State::NotStored) {
        return;
    }
    OutputFile& output = context.output;
    const std::string_view mfn = context.mfnDigits.Of(record.mfn);
    char* out = output.Room(32);
    out = Put(out, "{\"mfn\":", 7);
    out = Put(out, mfn.data(), mfn.size());
    out = Put(out, ",\"fields\":[", 11);
    output.Extend(out);
    bool first = true;
    for (const FieldValue& field : record.fields) {
        const std::string_view value = Utf8Value(context, record.mfn, field);
        out = output.Room(40 + kLongestEscape * value.size());
        if (!first) {
            *out++ = ',';
        }
        first = false;
        out = Put(out, "{\"tag\":", 7);
        char digits[tagged::kTagCopy];
        out = Put(out, digits, tagged::TagDigits(field.tag, digits));
        out = Put(out, ",\"value\":\"", 10);
        out =
            WriteJsonText(out, reinterpret_cast<const unsigned char*>(value.data()), value.size());
        out = Put(out, "\"}", 2);
        output.Extend(out);
    }
    output.Append("]}\n", 3);
}
