// The tagged text of a record: one "<TAG>value</TAG>\n" line per field, in
// directory order.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstring>

#include "platform/InputFile.hpp"
#include "record/RecordFields.hpp"

namespace tagged {

// The digits of a tag are copied as this many bytes whatever their number,
// and a value read from the master file in blocks of kValueBlock bytes, so a
// line may be written up to kOverrun bytes past its end.
constexpr std::size_t kTagCopy = 12;
constexpr std::size_t kValueBlock = 32;
constexpr std::size_t kOverrun = kValueBlock;
static_assert(kValueBlock <= InputFile::kViewSlack, "a value block may not read past the slack");
// A line's markup around its value at the most: '<', tag, '>', "</", tag, ">\n".
constexpr std::size_t kMostMarkup = 1 + kTagCopy + 1 + 2 + kTagCopy + 2;

// The decimal digits of the tags 0 to 999, which nearly every database
// uses, in 4 bytes each: up to three digits, then how many there are.
struct SmallTags {
    char bytes[1000][4];
    constexpr SmallTags() : bytes() {
        for (int tag = 0; tag < 1000; ++tag) {
            const int count = tag >= 100 ? 3 : tag >= 10 ? 2 : 1;
            int rest = tag;
            for (int i = count - 1; i >= 0; --i) {
                bytes[tag][i] = static_cast<char>('0' + rest % 10);
                rest /= 10;
            }
            bytes[tag][3] = static_cast<char>(count);
        }
    }
};
inline constexpr SmallTags kSmallTags;

// Puts the tag's digits into `digits`, possibly followed by other bytes, and
// returns how many there are.
inline std::size_t TagDigits(std::int32_t tag, char (&digits)[kTagCopy]) {
    if (tag >= 0 && tag < 1000) {
        std::memcpy(digits, kSmallTags.bytes[tag], 4);
        return static_cast<std::size_t>(digits[3]);
    }
    return static_cast<std::size_t>(std::to_chars(digits, digits + kTagCopy, tag).ptr - digits);
}

// The markup of the lines of the tags 0 to 999, which nearly every database
// uses: "<24>" and "</24>\n", each in 8 bytes, and their lengths.
struct SmallTagMarkup {
    struct Markup {
        char open[8];
        char close[8];
        std::size_t openLength;
        std::size_t closeLength;
    };
    Markup tags[1000];
    SmallTagMarkup() noexcept : tags() {
        for (int tag = 0; tag < 1000; ++tag) {
            const auto count =
                static_cast<std::size_t>(static_cast<unsigned char>(kSmallTags.bytes[tag][3]));
            Markup& markup = tags[tag];
            markup.open[0] = '<';
            markup.close[0] = '<';
            markup.close[1] = '/';
            for (std::size_t i = 0; i < count; ++i) {
                markup.open[1 + i] = kSmallTags.bytes[tag][i];
                markup.close[2 + i] = kSmallTags.bytes[tag][i];
            }
            markup.open[1 + count] = '>';
            markup.close[2 + count] = '>';
            markup.close[3 + count] = '\n';
            markup.openLength = 2 + count;
            markup.closeLength = 4 + count;
        }
    }
};
inline const SmallTagMarkup kSmallTagMarkup;

// Writes the line of `tag` at `out`, which has room for the line and
// kOverrun more bytes; `writeValue(at)` writes the value at `at` and returns
// its end. Returns where the line ends.
template <typename WriteValue>
char* WriteLine(char* out, std::int32_t tag, WriteValue&& writeValue) {
    if (tag >= 0 && tag < 1000) {
        const SmallTagMarkup::Markup& markup = kSmallTagMarkup.tags[tag];
        std::memcpy(out, markup.open, 8);
        out = writeValue(out + markup.openLength);
        std::memcpy(out, markup.close, 8);
        return out + markup.closeLength;
    }
    char digits[kTagCopy];
    const std::size_t tagLength = TagDigits(tag, digits);
    *out++ = '<';
    std::memcpy(out, digits, kTagCopy);
    out += tagLength;
    *out++ = '>';
    out = writeValue(out);
    *out++ = '<';
    *out++ = '/';
    std::memcpy(out, digits, kTagCopy);
    out += tagLength;
    *out++ = '>';
    *out++ = '\n';
    return out;
}

// Writes "<tag>" at `out`, which has room for kMostMarkup bytes; returns its
// end.
inline char* WriteOpen(char* out, std::int32_t tag) {
    if (tag >= 0 && tag < 1000) {
        const SmallTagMarkup::Markup& markup = kSmallTagMarkup.tags[tag];
        std::memcpy(out, markup.open, 8);
        return out + markup.openLength;
    }
    char digits[kTagCopy];
    const std::size_t tagLength = TagDigits(tag, digits);
    *out++ = '<';
    std::memcpy(out, digits, kTagCopy);
    out += tagLength;
    *out++ = '>';
    return out;
}

// Writes "</tag>\n" at `out`, which has room for kMostMarkup bytes; returns
// its end.
inline char* WriteClose(char* out, std::int32_t tag) {
    if (tag >= 0 && tag < 1000) {
        const SmallTagMarkup::Markup& markup = kSmallTagMarkup.tags[tag];
        std::memcpy(out, markup.close, 8);
        return out + markup.closeLength;
    }
    char digits[kTagCopy];
    const std::size_t tagLength = TagDigits(tag, digits);
    *out++ = '<';
    *out++ = '/';
    std::memcpy(out, digits, kTagCopy);
    out += tagLength;
    *out++ = '>';
    *out++ = '\n';
    return out;
}

// Copies a value in blocks, which costs less than a call to copy it exactly:
// the master file's buffers let its last block be read whole.
inline char* CopyValue(char* out, const unsigned char* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; i += kValueBlock) {
        std::memcpy(out + i, bytes + i, kValueBlock);
    }
    return out + length;
}

// The line of a field whose value is written as stored.
inline char* WriteLine(char* out, const FieldValue& field) {
    // The usual tags take the shortest way.
    if (static_cast<std::uint32_t>(field.tag) < 1000) {
        const SmallTagMarkup::Markup& markup = kSmallTagMarkup.tags[field.tag];
        std::memcpy(out, markup.open, 8);
        out = CopyValue(out + markup.openLength, field.bytes, field.length);
        std::memcpy(out, markup.close, 8);
        return out + markup.closeLength;
    }
    return WriteLine(out, field.tag,
                     [&field](char* at) { return CopyValue(at, field.bytes, field.length); });
}

// The most bytes the lines of `record` take, and kOverrun more.
inline std::size_t MostLineBytes(const RecordFields& record) {
    return kMostMarkup * record.fields.size() + record.valueBytes + kOverrun;
}

// Writes the lines of `record` at `out`, which has room for MostLineBytes;
// returns where they end.
inline char* WriteLines(char* out, const RecordFields& record) {
    for (const FieldValue& field : record.fields) {
        out = WriteLine(out, field);
    }
    return out;
}

// A record whose lines take at most this many bytes is written in one piece;
// a larger one (overlapping values can make it tens of megabytes) line by
// line, so that the output's memory stays flat.
constexpr std::size_t kRecordRoom = 64 * 1024;

}  // namespace tagged
