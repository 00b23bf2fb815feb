// The small sample database of examples/: a few bibliographic records with
// several tags, a repeated tag, a record without fields and a deleted record.
#pragma once

#include <string>

#include "DatabaseWriter.hpp"

DatabaseWriter ExampleDatabase();

// Its field definition table, examples/ths.fdt: a name for each of its tags.
std::string ExampleFieldTable();
