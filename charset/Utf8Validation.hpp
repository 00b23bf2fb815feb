// UTF-8 that is passed on where valid and replaced byte by byte where not.
#pragma once

#include <cstddef>

struct ConversionProblem;

namespace charset {

char* ValidatedUtf8(const unsigned char* bytes, std::size_t length, char* out,
                    ConversionProblem& problem);
std::size_t ValidatedUtf8Length(const unsigned char* bytes, std::size_t length);

}  // namespace charset
