// Where an export's records come from: the files of a database, read record
// by record in MFN order. The export run, the formats and the messages know
// records only through this; the master file's reader is one source
// (masterfile/MasterFileSource), an ISO 2709 file another
// (iso2709/Iso2709Source).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Problems.hpp"
#include "RecordFields.hpp"

// A file a source reads, and what it is, as the message that refuses it as
// the output says after "the output NAME is the": "database's own master
// file". The run checks each before anything is opened.
struct InputName {
    std::string name;
    const char* role;
};

// Why a source could not be opened.
struct OpenFailure {
    // What to say, a line each; the run adds what became of the output to
    // the last one.
    std::vector<std::string> lines;
    // The database's name could mean more than one database: only a more
    // exact name helps, so a run with arguments ends as a command-line error.
    bool usage = false;
};

// Something a source says of its input, for --info: a file it reads, or
// what it found of the file's layout.
struct SourceFact {
    enum class Kind { File, Layout };
    Kind kind;
    // A file's role ("master file"), or what was found ("byte order").
    std::string label;
    // A file's name, or what was found in words; empty for a number alone.
    std::string text;
    // A file's size in bytes, or what was found as a number; -1 for none.
    std::int64_t number = -1;
};

// The MFNs a source holds: from `first` to `last`, or, when the last is not
// known before the input is read to its end, from `first` on; a source of
// that kind knows its last once a pass has read to its end (an ISO 2709 file
// whose records are counted as they are read).
struct MfnRange {
    std::int32_t first = 1;
    std::int32_t last = 0;
    bool lastKnown = true;
};

class RecordSource {
  public:
    virtual ~RecordSource() = default;

    // The name that messages about its records start with ("ths.mst").
    virtual const std::string& Name() const = 0;

    // The files it reads, known before any is opened.
    virtual std::vector<InputName> Inputs() const = 0;

    // Opens the files and reads what tells the range. On failure returns
    // false and says why in `failure`.
    virtual bool Open(OpenFailure& failure) = 0;

    // What Open found, or, for a last MFN not known then, what a pass found
    // at the input's end; nothing before Open.
    virtual MfnRange Range() const = 0;

    // Yields only the records from `from` to `to`, clipped to the range.
    // Returns how many MFNs Next will go through, or -1 when that is not
    // known before the input is read to its end.
    virtual std::int64_t Limit(std::int32_t from, std::int32_t to) = 0;

    // The next record of the range, every MFN in turn (a deleted or
    // never-written one NotStored), with its problems said to `problems`;
    // false after the last one.
    virtual bool Next(RecordFields& record, ProblemSink& problems) = 0;

    // Back to the first record of the range, for a format that goes over
    // the records once before it writes them.
    virtual void Rewind() = 0;

    // What is said of the whole input once every record was read: what of
    // the range it could not yield, a line each.
    virtual std::vector<std::string> Shortfalls() const = 0;

    // What it says of its input: once opened, the files with their sizes,
    // then what it found of their layout, including what it counted of the
    // records read so far.
    virtual std::vector<SourceFact> Facts() const = 0;

    // The line said in place of the records' messages when not one of the
    // `stored` records of the range could be read: the files are not what
    // they are named.
    virtual std::string NoneReadable(long long stored) const = 0;
};
