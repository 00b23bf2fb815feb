// The rules every reading of an ISO 2709 file must keep, whatever the file
// holds; shared by the ISO 2709 fuzzer and the tests.
#pragma once

#include <filesystem>
#include <string>

// Reads the file at `path` with Iso2709Reader to its end and checks each
// record it yields: positions 1, 2, ... without a gap; a record read has
// tags from 0 to 999 and values without a zero byte, inside the record's
// bytes; a damaged one has no fields and one problem with its position and
// an offset inside the file; the reading ends. Returns "" when every rule
// holds, or the first that does not.
std::string ReadIsoAndCheck(const std::filesystem::path& path);
