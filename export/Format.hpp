// The output formats. Each is one file that defines one Format: its name, its
// options, whether it reads the records once before it writes them, and the
// writer that a run makes of it. The table of formats is Formats.cpp; the
// command line and --help read it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FastWriting.hpp"
#include "Messages.hpp"
#include "OutputFile.hpp"
#include "TextBuffer.hpp"
#include "charset/Charset.hpp"
#include "record/FieldDefinitionTable.hpp"
#include "record/RecordFields.hpp"

// What every format writes with.
struct FormatContext {
    FormatContext(OutputFile& out, Messages& said, const std::string& name)
        : output(out), messages(said), sourceName(name) {}

    OutputFile& output;
    Messages& messages;
    // The source's name, as the messages about its records give it.
    const std::string& sourceName;
    // The database's character set, whose values are written in UTF-8;
    // nullptr writes them as stored.
    const Charset* charset = nullptr;
    // The names of the database's tags, from its field definition table, for
    // the formats that name fields; nullptr when there is none.
    const FieldNames* names = nullptr;
    fast::MfnDigits mfnDigits;
    // Working room of the format for one record or value.
    TextBuffer scratch;

    // Says what is wrong with a record as it is written.
    void Report(const RecordProblem& problem) { messages.Report(problem); }
};

// A format as one run writes it: with the options it was given, and room of
// its own.
class FormatWriter {
  public:
    virtual ~FormatWriter() = default;
    // Sees each record of the range in a pass before the export, when the
    // format needs one.
    virtual void Survey(const RecordFields& record) { (void)record; }
    // Writes what comes before the first record.
    virtual void Begin(FormatContext& context) { (void)context; }
    // Writes a record, as read; the run calls it for every MFN of the range,
    // in order, stored or not.
    virtual void Append(const RecordFields& record, FormatContext& context) = 0;
    // Writes what comes after the last record.
    virtual void End(FormatContext& context) { (void)context; }
};

// An option of one format, on the command line as --NAME=VALUE, or --NAME
// alone.
struct FormatOption {
    const char* name;  // without the leading "--"
    // In --help: "KIND"; nullptr for an option that takes no value.
    const char* valueName;
    const char* help;  // its line in --help
    // The words the value may be, matched in any case, the default first;
    // none for an option whose value is any text, or that takes none.
    std::vector<const char*> words;
};

// The values given for the options of a format: each option's word or text,
// as the option names it; an empty one for an option that takes no value.
class FormatOptions {
  public:
    void Set(const std::string& name, const std::string& word);
    // The word given for the option `name`; nullptr when it was not given.
    const std::string* Given(const char* name) const;

  private:
    std::vector<std::pair<std::string, std::string>> given_;
};

struct Format {
    const char* name;  // as --format takes it
    std::vector<FormatOption> options;
    // Whether a run shows it every record (Survey) before it writes them.
    bool needsPass;
    std::unique_ptr<FormatWriter> (*make)(const FormatOptions& options);
    // Whether it writes the names of the field definition table
    // (FormatContext::names); the run reads the table only for such a format.
    bool namesFields = false;
};

// Every format, the default first (see Formats.cpp).
const std::vector<const Format*>& Formats();

// The format of `name`, matched in any case; nullptr when there is none.
const Format* FindFormat(const std::string& name);

// The format a run writes, with the values given for its options.
struct FormatChoice {
    const Format* format = Formats().front();
    FormatOptions options;
};
