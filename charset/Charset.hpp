// The character set a database's values are stored in, and their conversion
// to UTF-8.
#pragma once

#include <cstddef>
#include <string_view>

namespace charset {
struct CodePage;
}

struct ConversionProblem {
    std::size_t badBytes = 0;        // bytes written as U+FFFD
    unsigned char firstBadByte = 0;  // the first of them

    void Count(unsigned char byte) {
        if (badBytes++ == 0) {
            firstBadByte = byte;
        }
    }
};

class Charset {
  public:
    // The character set of `name`, matched case-insensitively with its
    // aliases (ibm850 or 850 for cp850, windows-1252 for cp1252, latin1 or
    // iso8859-1 for iso-8859-1, utf8 for utf-8 ...); nullptr when unknown.
    static const Charset* Find(std::string_view name);
    // The canonical names, for --help and for the message on an unknown name:
    // "cp437, cp850, ..., utf-8".
    static const char* NameList();
    // UTF-8 validation only (the "utf-8" charset).
    static const Charset& Utf8();

    // The canonical name.
    const char* Name() const { return name_; }
    // Who wrote values in it: "DOS, United States".
    const char* UsedBy() const { return usedBy_; }

    // A value's UTF-8 form takes at most this many bytes per stored byte.
    static constexpr std::size_t kMostUtf8PerByte = 3;

    // Writes the UTF-8 form of the `length` bytes at `bytes` at `out` (room
    // for kMostUtf8PerByte * length bytes) and returns its end. A byte the
    // code page leaves undefined, and under utf-8 each byte that begins no
    // valid UTF-8 sequence (overlongs, surrogates, > U+10FFFF, truncated,
    // stray continuation bytes), becomes U+FFFD (EF BF BD): `problem` adds
    // them to its count, and keeps the first unless it already has one.
    char* ToUtf8(const unsigned char* bytes, std::size_t length, char* out,
                 ConversionProblem& problem) const;
    // The length of that UTF-8 form, without writing it.
    std::size_t Utf8Length(const unsigned char* bytes, std::size_t length) const;

  private:
    constexpr Charset(const char* name, const char* usedBy, const charset::CodePage* page) noexcept
        : name_(name), usedBy_(usedBy), page_(page) {}

    // Every character set, in the order of NameList, UTF-8 last; made by
    // charset/generate-tables.
    static const Charset all_[];

    const char* name_;
    const char* usedBy_;
    const charset::CodePage* page_;  // nullptr for utf-8
};
