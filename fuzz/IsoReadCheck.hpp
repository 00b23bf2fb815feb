// The rules every reading of an ISO 2709 file must keep, whatever the file
// holds; shared by the ISO 2709 fuzzer and the tests.
#pragma once

#include <filesystem>
#include <string>

// Reads the file at `path` with Iso2709Reader to its end and checks each
// record it yields: positions 1, 2, ... without a gap; a record read has
// tags from 0 to 999 and values without a zero byte, inside the record's
// bytes; a damaged one has no fields and one problem with its position and
// an offset inside the file; the reading ends.
//
// Then exports the file with the program's own run, as tagged text into a
// file beside it, and checks the export against that reading: every record
// under its position with the fields read, a damaged one without; a message
// for each damaged record, up to the 20 of a kind; one line for a file that
// holds no records or is not ISO 2709, and no output then, nor when not one
// of 8 or more records could be read; exit status 0 exactly when nothing
// was said. The files it writes are removed.
//
// Returns "" when every rule holds, or the first that does not.
std::string ReadIsoAndCheck(const std::filesystem::path& path);
