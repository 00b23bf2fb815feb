// ISO 2709 records read back by the program's own reader, for the tests of
// the ISO 2709 export.
#pragma once

#include <string>
#include <vector>

#include "DatabaseWriter.hpp"

// The records of `iso`, each as its fields, in any variant the reader
// recognises. Throws std::runtime_error when the bytes are not ISO 2709 or a
// record or field cannot be read.
std::vector<std::vector<Field>> ReadIso2709(const std::string& iso);
