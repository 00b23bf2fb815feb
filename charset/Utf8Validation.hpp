// UTF-8 that is passed on where valid and replaced byte by byte where not.
#pragma once

#include <cstddef>

struct ConversionProblem;

namespace charset {

char* ValidatedUtf8(const unsigned char* bytes, std::size_t length, char* out,
                    ConversionProblem& problem);
std::size_t ValidatedUtf8Length(const unsigned char* bytes, std::size_t length);

// The size of the valid sequence that starts with the byte 0x80 or above at
// `bytes`, or 0 when none does before `end`.
std::size_t Utf8SequenceSize(const unsigned char* bytes, const unsigned char* end);

}  // namespace charset
