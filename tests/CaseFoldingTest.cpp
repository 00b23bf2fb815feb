// File names compared in any case: the letters of every supported code page,
// in UTF-8, and bytes that are not UTF-8 as they are.
#include <gtest/gtest.h>

#include <string>

#include "charset/CaseFolding.hpp"

namespace {

TEST(CaseFolding, NamesTheSameButForCase) {
    struct Case {
        std::string a;
        std::string b;
        bool same;
    };
    const Case cases[] = {
        {"THS.MST", "ths.mst", true},
        {u8"KNJIŽNICA.MST", u8"Knjižnica.mst", true},    // cp852, cp1250, iso-8859-2
        {u8"БИБЛ", u8"библ", true},                      // cp855, cp866, cp1251
        {u8"ЃЄЅІЇЈЉЊЋЌЎЏҐ", u8"ѓєѕіїјљњћќўџґ", true},    // cp855, cp1251
        {u8"ÀÉÎÕÜÇÑÆØÅŸŒŠŽ", u8"àéîõüçñæøåÿœšž", true},  // cp850, cp1252
        {u8"ŐŰĄĘŁŃŚŹŻČĎĚŇŘŤŮĹĽŔŞŢĂ", u8"őűąęłńśźżčďěňřťůĺľŕşţă", true},
        {u8"ΣΦΩΓΘ", u8"σφωγθ", true},  // cp437
        {u8"é", "e", false},
        {u8"ß", "SS", false},  // one letter is not two
        {"ab", "abc", false},
        {"a\xE9.mst", "A\xE9.MST", true},  // a byte that is not UTF-8 is itself
        {"\xE9", "\xC9", false},
        {"\xC5", u8"Ž", false},  // a sequence cut short
        {"\xC5\x41", "\xC5\x61", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(charset::SameInAnyCase(c.a, c.b), c.same) << c.a << " / " << c.b;
        EXPECT_EQ(charset::SameInAnyCase(c.b, c.a), c.same) << c.b << " / " << c.a;
    }
}

}  // namespace
