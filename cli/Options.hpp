// The program's options, one row each: parsing and --help both come from
// this table.
#pragma once

#include <string>

#include "export/Export.hpp"

struct CommandLine;

struct Option {
    char shortName;         // 0 when there is none
    const char* longName;   // without the leading "--"
    const char* valueName;  // nullptr for an option without a value
    const char* help;       // one line
    // Applies the option; returns what is wrong with its value, or nothing.
    std::string (*apply)(CommandLine& line, const std::string& value);
};

extern const Option kOptions[];
extern const std::size_t kOptionCount;
