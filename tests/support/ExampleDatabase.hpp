// The small sample database of examples/: a few bibliographic records with
// several tags, a repeated tag, a record without fields and a deleted record.
#pragma once

#include "DatabaseWriter.hpp"

DatabaseWriter ExampleDatabase();
