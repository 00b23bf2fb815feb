// What --info prints of a database, as text for a reader or as one JSON
// object for scripts, from what the source says of its input and what the
// run gathered of its records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DatabaseInfo.hpp"
#include "record/FieldDefinitionTable.hpp"
#include "record/RecordSource.hpp"

struct InfoFacts {
    // The source's name, as its messages give it.
    std::string database;
    std::vector<SourceFact> source;
    const DatabaseInfo* records = nullptr;
    // The field definition table read, if any: its tags' names, and the
    // tags it defines that no record uses.
    const FieldNames* names = nullptr;
    // What the messages counted, in the words of their count lines.
    struct Problems {
        const char* plural;
        long long count;
    };
    std::vector<Problems> problems;
};

// The text ends with the line that names the likeliest code page as
// --encoding=NAME, or says that no --encoding is needed.
std::string InfoText(const InfoFacts& facts);
// One line.
std::string InfoJson(const InfoFacts& facts);
