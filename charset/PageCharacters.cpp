#include "PageCharacters.hpp"

namespace charset {

namespace {

#include "CodePageCharacters.inc"

static_assert(sizeof kLanguages / sizeof kLanguages[0] == kLanguageCount,
              "kLanguageCount is the number of languages the generator wrote");

}  // namespace

PageCharactersList SingleBytePages() {
    return {kPageCharacters, kPageCharacters + sizeof kPageCharacters / sizeof kPageCharacters[0]};
}

const char* LanguageName(std::size_t bit) {
    return bit < kLanguageCount ? kLanguages[bit] : "";
}

}  // namespace charset
