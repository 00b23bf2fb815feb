// File names compared in any case, for the letters of every code page the
// program knows, so that a database named in Central European or Cyrillic
// letters is found whatever case its files were copied in.
#pragma once

#include <string_view>

namespace charset {

// The lower case of `codePoint`: for ASCII and for the letters of the
// supported code pages (and the other case of each); any other code point is
// itself.
char32_t LowerCase(char32_t codePoint);

// Whether the UTF-8 names `a` and `b` are the same but for the case of such
// letters. Bytes that are not UTF-8 are compared as they are.
bool SameInAnyCase(std::string_view a, std::string_view b);

}  // namespace charset
