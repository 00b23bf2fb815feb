// Reads ISO 2709 records back as the systems that import them do: by the
// leader's record length and the directory's lengths and offsets alone.
#pragma once

#include <string>
#include <vector>

#include "DatabaseWriter.hpp"

// The records of `iso`, each as its fields. `lineEnd` ("\r\n", "\n" or "")
// follows every 80 bytes of a record and its last bytes. Throws
// std::runtime_error on anything malformed.
std::vector<std::vector<Field>> ReadIso2709(const std::string& iso, const std::string& lineEnd);
