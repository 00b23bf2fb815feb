// The output formats. Each is one function that appends one record, as read,
// to the output; the export run calls it for every MFN it exports, in order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Messages.hpp"
#include "MfnDigits.hpp"
#include "OutputFile.hpp"
#include "TextBuffer.hpp"
#include "charset/Charset.hpp"
#include "record/RecordFields.hpp"

// How ISO 2709 records are written.
struct IsoOptions {
    // 0x1E after each field and 0x1D after each record, as the Windows
    // program writes them, or '#' for both, as the DOS and Unix tools do.
    enum class Terminators { Control, Hash };
    // The record's bytes are cut into lines of 80, each ended so.
    enum class LineEnd { CrLf, Lf, None };
    Terminators terminators = Terminators::Control;
    LineEnd lineEnd = LineEnd::CrLf;
};

struct FormatContext {
    FormatContext(OutputFile& out, Messages& said, const std::string& master)
        : output(out), messages(said), masterName(master) {}

    OutputFile& output;
    Messages& messages;
    const std::string& masterName;
    // The database's character set, whose values are written in UTF-8;
    // nullptr writes them as stored.
    const Charset* charset = nullptr;
    IsoOptions iso;
    MfnDigits mfnDigits;
    // Working room of the format for one record or value.
    TextBuffer scratch;
    std::vector<std::size_t> lengths;

    // Says what is wrong with a record as it is written.
    void Report(const RecordProblem& problem) { messages.Report(problem); }
};

using RecordFormat = void (*)(const RecordFields& record, FormatContext& context);

// The format a run writes, with its options.
struct FormatChoice {
    RecordFormat append;
    IsoOptions iso;
};

// "[RECORD n]", a line "<TAG>value</TAG>" per field, then two empty lines.
// Every MFN has its block, stored or not.
void AppendTaggedRecord(const RecordFields& record, FormatContext& context);

// An ISO 2709 record per stored record with fields: leader, directory and
// values, as the CDS/ISIS programs write their exports. What ISO 2709 cannot
// hold is left out with a message.
void AppendIso2709Record(const RecordFields& record, FormatContext& context);

// A JSON object per stored record, on a line of its own:
// {"mfn":1,"fields":[{"tag":24,"value":"..."}]}.
void AppendJsonLinesRecord(const RecordFields& record, FormatContext& context);
