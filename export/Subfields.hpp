// Subfields: CDS/ISIS divides a value with delimiters, '^' and a one-character
// code, "^aParis^bUnesco^c1965". A delimiter's code is an ASCII letter or
// digit, in either case (^A and ^a are one code); any other '^', or one at
// the value's end, is text. Text before the first delimiter is a subfield
// of its own, with no code; a value without a delimiter, the empty value
// too, is one such subfield.
//
// Values are split as stored, before any conversion: '^', the letters and
// the digits are the same bytes in every code page the program reads.
#pragma once

#include <cstddef>

#include "FastWriting.hpp"
#include "platform/ViewSlack.hpp"

namespace subfields {

// The bytes that make a '^' before them a delimiter: ASCII letters and digits.
struct CodeBytes {
    bool is[256];
    constexpr CodeBytes() : is() {
        for (int byte = 0; byte < 256; ++byte) {
            is[byte] = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9');
        }
    }
};
inline constexpr CodeBytes kCodeBytes;

// Whether `byte` after a '^' makes it a delimiter.
inline bool IsCode(unsigned char byte) {
    return kCodeBytes.is[byte];
}

// The code of a delimiter whose second byte is `byte`, a letter or a digit,
// as written out: in lower case. Lower-case letters and the digits have the
// bit 0x20 set already, so setting it lowers a capital without a branch.
inline char CodeOf(unsigned char byte) {
    return static_cast<char>(byte | 0x20);
}

// A '^' that turned out to be text once the next piece began, with the
// readable slack that every text handed on has after it.
inline constexpr unsigned char kCaret[1 + kViewSlack] = {'^'};

// Splits one value, handed over whole or a piece at a time, into its
// subfields: `sink.Start(code)` begins each, with the code '\0' for the text
// before the first delimiter, and `sink.Text(bytes, length)` hands on its
// text, in one run or several, each followed by kViewSlack readable bytes.
// A '^' at the end of one piece and a code at the start of the next split
// as they would in one piece. End() finishes the value; the splitter then
// takes the next.
class Splitter {
  public:
    template <typename Sink>
    void Piece(const unsigned char* bytes, std::size_t length, Sink& sink) {
        std::size_t at = 0;
        if (caret_ && length > 0) {
            caret_ = false;
            if (IsCode(bytes[0])) {
                Begin(CodeOf(bytes[0]), sink);
                at = 1;
            } else {
                Text(kCaret, 1, sink);
            }
        }
        std::size_t textStart = at;
        while (at < length) {
            // Pieces and values have slack after them: looked for in blocks.
            const std::size_t caret = at + fast::Find(bytes + at, length - at, '^');
            if (caret == length) {
                break;
            }
            if (caret + 1 == length) {
                // Its code, if any, is the next piece's first byte.
                Text(bytes + textStart, caret - textStart, sink);
                caret_ = true;
                return;
            }
            if (IsCode(bytes[caret + 1])) {
                Text(bytes + textStart, caret - textStart, sink);
                Begin(CodeOf(bytes[caret + 1]), sink);
                textStart = caret + 2;
            }
            at = caret + 1;
        }
        Text(bytes + textStart, length - textStart, sink);
    }

    template <typename Sink>
    void End(Sink& sink) {
        if (caret_) {
            caret_ = false;
            Text(kCaret, 1, sink);
        }
        if (!started_) {
            sink.Start('\0');  // a value without a delimiter
        }
        started_ = false;
    }

  private:
    template <typename Sink>
    void Begin(char code, Sink& sink) {
        started_ = true;
        sink.Start(code);
    }

    template <typename Sink>
    void Text(const unsigned char* bytes, std::size_t length, Sink& sink) {
        if (length == 0) {
            return;
        }
        if (!started_) {
            Begin('\0', sink);
        }
        sink.Text(bytes, length);
    }

    bool started_ = false;
    // The piece before ended in a '^'.
    bool caret_ = false;
};

}  // namespace subfields
