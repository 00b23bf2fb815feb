// The tagged text of a record: one "<TAG>value</TAG>\n" line per field, in
// directory order.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstring>

#include "masterfile/RecordFields.hpp"

namespace tagged {

// The digits of a tag are copied as this many bytes whatever their number, so
// a line may be written up to kOverrun bytes past its end.
constexpr std::size_t kTagCopy = 12;
constexpr std::size_t kOverrun = kTagCopy - 2;
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

// Writes the line of `tag` at `out`, which has room for the line and
// kOverrun more bytes; `writeValue(at)` writes the value at `at` and returns
// its end. Returns where the line ends.
template <typename WriteValue>
char* WriteLine(char* out, std::int32_t tag, WriteValue&& writeValue) {
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

// The line of a field whose value is written as stored.
inline char* WriteLine(char* out, const FieldValue& field) {
    return WriteLine(out, field.tag, [&field](char* at) {
        std::memcpy(at, field.bytes, field.length);
        return at + field.length;
    });
}

// A record whose lines take at most this many bytes asks for room once.
constexpr std::size_t kRecordRoom = 64 * 1024;

// Appends the record's lines to `sink`, anything with Room(count), which
// hands out room for count bytes, and Extend(end), which keeps what was
// written there up to `end`. A larger record asks for room line by line, so
// a sink that writes out what it holds keeps its memory flat whatever one
// record writes (overlapping values can make it tens of megabytes).
template <typename Sink>
void AppendLines(const RecordFields& record, Sink& sink) {
    std::size_t room = kOverrun;
    for (const FieldValue& field : record.fields) {
        room += kMostMarkup + field.length;
    }
    if (room <= kRecordRoom) {
        char* out = sink.Room(room);
        for (const FieldValue& field : record.fields) {
            out = WriteLine(out, field);
        }
        sink.Extend(out);
        return;
    }
    for (const FieldValue& field : record.fields) {
        char* out = sink.Room(kMostMarkup + kOverrun + field.length);
        sink.Extend(WriteLine(out, field));
    }
}

}  // namespace tagged
