#include "Charset.hpp"

#include "CodePage.hpp"
#include "Utf8Validation.hpp"

namespace {

using charset::kUndefined;
#include "CodePageTables.inc"

constexpr charset::CodePage kCp437Page = charset::CodePageOf(kCp437);
constexpr charset::CodePage kCp850Page = charset::CodePageOf(kCp850);
constexpr charset::CodePage kCp852Page = charset::CodePageOf(kCp852);
constexpr charset::CodePage kCp855Page = charset::CodePageOf(kCp855);
constexpr charset::CodePage kCp866Page = charset::CodePageOf(kCp866);
constexpr charset::CodePage kCp1250Page = charset::CodePageOf(kCp1250);
constexpr charset::CodePage kCp1251Page = charset::CodePageOf(kCp1251);
constexpr charset::CodePage kCp1252Page = charset::CodePageOf(kCp1252);
constexpr charset::CodePage kIso8859_1Page = charset::CodePageOf(kIso8859_1);
constexpr charset::CodePage kIso8859_2Page = charset::CodePageOf(kIso8859_2);

enum Index : unsigned char {
    kCp437Index,
    kCp850Index,
    kCp852Index,
    kCp855Index,
    kCp866Index,
    kCp1250Index,
    kCp1251Index,
    kCp1252Index,
    kIso8859_1Index,
    kIso8859_2Index,
    kUtf8Index,
};

struct Alias {
    const char* name;
    Index charset;
};

// Besides the canonical names: IBM's and Microsoft's names for the pages, and
// the spellings of the ISO and UTF names that iconv and other tools accept.
constexpr Alias kAliases[] = {
    {"ibm437", kCp437Index},        {"437", kCp437Index},           {"ibm850", kCp850Index},
    {"850", kCp850Index},           {"ibm852", kCp852Index},        {"852", kCp852Index},
    {"ibm855", kCp855Index},        {"855", kCp855Index},           {"ibm866", kCp866Index},
    {"866", kCp866Index},           {"windows-1250", kCp1250Index}, {"windows-1251", kCp1251Index},
    {"windows-1252", kCp1252Index}, {"iso8859-1", kIso8859_1Index}, {"iso_8859-1", kIso8859_1Index},
    {"iso88591", kIso8859_1Index},  {"latin1", kIso8859_1Index},    {"latin-1", kIso8859_1Index},
    {"l1", kIso8859_1Index},        {"iso8859-2", kIso8859_2Index}, {"iso_8859-2", kIso8859_2Index},
    {"iso88592", kIso8859_2Index},  {"latin2", kIso8859_2Index},    {"latin-2", kIso8859_2Index},
    {"l2", kIso8859_2Index},        {"utf8", kUtf8Index},
};

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

// In the order of Index.
const Charset Charset::all_[] = {
    {"cp437", &kCp437Page},          {"cp850", &kCp850Page},   {"cp852", &kCp852Page},
    {"cp855", &kCp855Page},          {"cp866", &kCp866Page},   {"cp1250", &kCp1250Page},
    {"cp1251", &kCp1251Page},        {"cp1252", &kCp1252Page}, {"iso-8859-1", &kIso8859_1Page},
    {"iso-8859-2", &kIso8859_2Page}, {"utf-8", nullptr},
};

const Charset* Charset::Find(std::string_view name) {
    for (const Charset& charset : all_) {
        if (SameIgnoringAsciiCase(name, charset.name_)) {
            return &charset;
        }
    }
    for (const Alias& alias : kAliases) {
        if (SameIgnoringAsciiCase(name, alias.name)) {
            return &all_[alias.charset];
        }
    }
    return nullptr;
}

const char* Charset::NameList() {
    return "cp437, cp850, cp852, cp855, cp866, cp1250, cp1251, cp1252, iso-8859-1, iso-8859-2, "
           "utf-8";
}

const Charset& Charset::Utf8() {
    return all_[kUtf8Index];
}

char* Charset::ToUtf8(const unsigned char* bytes, std::size_t length, char* out,
                      ConversionProblem& problem) const {
    if (page_ == nullptr) {
        return charset::ValidatedUtf8(bytes, length, out, problem);
    }
    return charset::CodePageToUtf8(*page_, bytes, length, out, problem);
}

std::size_t Charset::Utf8Length(const unsigned char* bytes, std::size_t length) const {
    if (page_ == nullptr) {
        return charset::ValidatedUtf8Length(bytes, length);
    }
    return charset::CodePageUtf8Length(*page_, bytes, length);
}
