// A field's value as the formats take it: in pieces, so that a value as long
// as an FFI record can be written with memory that does not grow with it.
#pragma once

#include <algorithm>
#include <cstddef>

#include "record/RecordFields.hpp"

namespace pieces {

// Where a piece of `count` bytes that the value goes on after should end: a
// UTF-8 lead byte among its last three bytes, followed only by continuation
// bytes, may begin a sequence that goes on in the next piece, and moves the
// end back to it. Any other end falls where a whole value's UTF-8 could also
// be cut, so validation, JSON escaping and code-page conversion give the
// same bytes piece by piece as whole.
inline std::size_t CutBeforeSequence(const unsigned char* bytes, std::size_t count) {
    for (std::size_t back = 1; back <= 3 && back < count; ++back) {
        const unsigned char byte = bytes[count - back];
        if (byte >= 0xC0) {
            return count - back;
        }
        if (byte < 0x80) {
            break;
        }
    }
    return count;
}

}  // namespace pieces

// Hands `use(bytes, length)` the value of `field`, a field of `record`: whole
// when the record holds it in memory; otherwise in pieces of at most
// ValueReader::LargestPiece bytes, read through the record's ValueReader,
// each with kViewSlack readable bytes after it and valid until
// the next. Returns false when a piece cannot be read, after handing on the
// pieces before it.
template <typename Use>
bool ForEachPiece(const RecordFields& record, const FieldValue& field, Use&& use) {
    if (field.bytes != nullptr) {
        use(field.bytes, field.length);
        return true;
    }
    const std::size_t largest = record.valueReader->LargestPiece();
    for (std::size_t done = 0; done < field.length;) {
        std::size_t count = std::min(largest, field.length - done);
        const unsigned char* piece =
            record.valueReader->Piece(field.position + static_cast<std::int64_t>(done), count);
        if (piece == nullptr) {
            return false;
        }
        if (done + count < field.length) {
            count = pieces::CutBeforeSequence(piece, count);
        }
        use(piece, count);
        done += count;
    }
    return true;
}
