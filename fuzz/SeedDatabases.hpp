// Databases written by the tests' own writer that the fuzzer starts from:
// small and multi-block, clean and damaged.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "DatabaseWriter.hpp"

std::vector<std::pair<std::string, DatabaseWriter>> SeedDatabases();
