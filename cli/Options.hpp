// The program's options, one row each: parsing and --help both come from
// this table, which takes each format's options from the table of formats.
#pragma once

#include <string>
#include <vector>

#include "export/Format.hpp"

struct CommandLine;

struct Option {
    char shortName;         // 0 when there is none
    std::string longName;   // without the leading "--"
    const char* valueName;  // nullptr for an option without a value
    std::string help;       // one line
    // Applies the option, as `shown`; returns what is wrong with its value, or nothing.
    std::string (*apply)(CommandLine& line, const Option& shown, const std::string& value);
    // The format whose option it is, and which; nullptr for the others.
    const Format* format = nullptr;
    const FormatOption* formatOption = nullptr;
};

// Every option, in the order --help lists them: the run's, each format's,
// then --help and --version.
const std::vector<Option>& Options();

// "a", "a or b", "a, b or c", with `last` ("or", "and") before the last.
std::string Listed(const std::vector<std::string>& words, const char* last);
