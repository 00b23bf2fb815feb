// What the ISO 2709 reader finds wrong with a record, as it finds it.
#pragma once

#include <cstdint>
#include <string>

struct IsoProblem {
    enum class Kind {
        // The record's leader, directory or lengths do not agree, or the file
        // ends inside it: it is left out whole.
        DamagedRecord,
        // A directory entry whose tag is not three digits: its field is left
        // out, the record's other fields are read.
        TagNotDigits,
    };
    Kind kind = Kind::DamagedRecord;
    // The record's position in the file, 1 for the first: its MFN.
    std::int32_t position = 0;
    // Where the record starts in the file.
    std::int64_t offset = 0;
    // Why, in a few words ("the file ends inside the record", ...).
    std::string reason;
};

class IsoProblemSink {
  public:
    virtual void Report(const IsoProblem& problem) = 0;

  protected:
    ~IsoProblemSink() = default;
};
