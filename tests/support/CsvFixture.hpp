// A database for the CSV export's read-back checks: values that hold what
// quoting is about (commas, quotes, CR, LF) and the separator, repeated
// tags, records not stored, and a field definition table in an order of its
// own. The C++ test and CI's check with Python's csv module both read it.
#pragma once

#include <string>
#include <vector>

#include "DatabaseWriter.hpp"

using CsvRows = std::vector<std::vector<std::string>>;

struct CsvFixture {
    DatabaseWriter db;
    std::string table;  // ths.fdt
    // The export's columns with the table, and their header.
    std::vector<int> columns;
    std::vector<std::string> header;
};

CsvFixture MakeCsvFixture();

// The rows an export of `db` must read back as: `header`, then each stored
// record's MFN and, for each of `columns`, its values of that tag joined by
// `separator`.
CsvRows ExpectedCsvRows(const DatabaseWriter& db, const std::vector<std::string>& header,
                        const std::vector<int>& columns, const std::string& separator = "|");
