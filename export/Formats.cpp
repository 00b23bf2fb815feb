// The table of formats: --format takes their names, and --help lists them
// and their options, in this order; the first is the default.
#include <algorithm>

#include "Format.hpp"

// One in each format's file.
const Format& TaggedFormat();
const Format& Iso2709Format();
const Format& JsonLinesFormat();
const Format& CsvFormat();

const std::vector<const Format*>& Formats() {
    static const std::vector<const Format*> formats = {
        &TaggedFormat(),
        &Iso2709Format(),
        &JsonLinesFormat(),
        &CsvFormat(),
    };
    return formats;
}

const Format* FindFormat(const std::string& name) {
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    for (const Format* format : Formats()) {
        const std::string formatName = format->name;
        if (name.size() == formatName.size() &&
            std::equal(name.begin(), name.end(), formatName.begin(),
                       [&](char a, char b) { return lower(a) == b; })) {
            return format;
        }
    }
    return nullptr;
}

void FormatOptions::Set(const std::string& name, const std::string& word) {
    for (auto& [given, value] : given_) {
        if (given == name) {
            value = word;
            return;
        }
    }
    given_.emplace_back(name, word);
}

const std::string* FormatOptions::Given(const char* name) const {
    for (const auto& [given, value] : given_) {
        if (given == name) {
            return &value;
        }
    }
    return nullptr;
}
