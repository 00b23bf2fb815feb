#include "Charset.hpp"

#include "CodePage.hpp"
#include "Utf8Validation.hpp"

namespace {

using charset::kUndefined;

struct Alias {
    const char* name;
    unsigned char charset;  // its index in Charset::all_
};

}  // namespace

// The code pages' tables, Charset::all_, kAliases and kNameList.
#include "CodePageTables.inc"

namespace {

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
    return kNameList;
}

const Charset& Charset::Utf8() {
    return all_[sizeof all_ / sizeof all_[0] - 1];
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
