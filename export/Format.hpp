// The output formats. Each is one function that appends one record, as read,
// to the output; the export run calls it for every MFN it exports, in order.
#pragma once

#include "MfnDigits.hpp"
#include "OutputFile.hpp"
#include "masterfile/RecordFields.hpp"

struct FormatContext {
    OutputFile& output;
    MfnDigits mfnDigits;
};

using RecordFormat = void (*)(const RecordFields& record, FormatContext& context);

// "[RECORD n]", a line "<TAG>value</TAG>" per field, then two empty lines.
// Every MFN has its block, stored or not.
void AppendTaggedRecord(const RecordFields& record, FormatContext& context);
