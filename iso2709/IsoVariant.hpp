// The ways an ISO 2709 file may end its fields, its records and its lines:
// the CDS/ISIS programs write 0x1E and 0x1D, or `#` for both, and cut each
// record into lines of 80 bytes ended by CR LF or LF, or do not cut it.
#pragma once

#include <cstddef>

struct IsoVariant {
    enum class Terminators { Control, Hash };
    enum class LineEnd { CrLf, Lf, None };

    Terminators terminators = Terminators::Control;
    LineEnd lineEnd = LineEnd::CrLf;

    static constexpr std::size_t kLineLength = 80;

    unsigned char FieldEnd() const { return terminators == Terminators::Hash ? '#' : 0x1E; }
    unsigned char RecordEnd() const { return terminators == Terminators::Hash ? '#' : 0x1D; }
    std::size_t LineEndSize() const {
        return lineEnd == LineEnd::CrLf ? 2 : lineEnd == LineEnd::Lf ? 1 : 0;
    }
    // Whether the line end is at `bytes`, which has LineEndSize() of them.
    bool IsLineEnd(const unsigned char* bytes) const {
        switch (lineEnd) {
            case LineEnd::CrLf:
                return bytes[0] == '\r' && bytes[1] == '\n';
            case LineEnd::Lf:
                return bytes[0] == '\n';
            case LineEnd::None:
                break;
        }
        return true;
    }
    // The file bytes that a record of `length` bytes takes, line ends included.
    std::size_t Extent(std::size_t length) const {
        return length + (length + kLineLength - 1) / kLineLength * LineEndSize();
    }
    // Where byte `at` of a record lies, counted from the record's start in the file.
    std::size_t FileOffset(std::size_t at) const { return at + at / kLineLength * LineEndSize(); }
};

// Every variant, in the order that decides between those that read a file
// equally well.
constexpr IsoVariant kIsoVariants[] = {
    {IsoVariant::Terminators::Control, IsoVariant::LineEnd::CrLf},
    {IsoVariant::Terminators::Control, IsoVariant::LineEnd::Lf},
    {IsoVariant::Terminators::Control, IsoVariant::LineEnd::None},
    {IsoVariant::Terminators::Hash, IsoVariant::LineEnd::CrLf},
    {IsoVariant::Terminators::Hash, IsoVariant::LineEnd::Lf},
    {IsoVariant::Terminators::Hash, IsoVariant::LineEnd::None},
};
