// An ISO 2709 file as a record source: its records in the file's order, each
// numbered by its position (1, 2, ...), as CDS/ISIS numbers the records it
// imports. How many there are is known only once the file is read to its end.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Iso2709Reader.hpp"
#include "platform/InputFile.hpp"
#include "record/RecordSource.hpp"

class Iso2709Source final : public RecordSource {
  public:
    explicit Iso2709Source(std::string file) : name_(std::move(file)) {}

    const std::string& Name() const override { return name_; }
    std::vector<InputName> Inputs() const override;
    bool Open(OpenFailure& failure) override;
    // The last MFN is known, and given, once a pass has read the file to its end.
    MfnRange Range() const override { return {1, last_, lastKnown_}; }
    // Records before `from` are read, and passed over silently; the reading
    // stops after `to`. How many there are is not known: -1.
    std::int64_t Limit(std::int32_t from, std::int32_t to) override;
    bool Next(RecordFields& record, ProblemSink& problems) override;
    void Rewind() override;
    // A file cut short ends inside a record, which is said as that record's
    // problem: nothing of the range is missing beyond it.
    std::vector<std::string> Shortfalls() const override { return {}; }
    // The file, the variant it is written in, and of the records of the
    // range read so far, how many have leaders as CDS/ISIS writes them.
    std::vector<SourceFact> Facts() const override;
    std::string NoneReadable(long long stored) const override;

  private:
    std::string name_;
    // Made when opened, so that a run that cannot be started holds no buffers.
    std::unique_ptr<InputFile> file_;
    std::unique_ptr<Iso2709Reader> reader_;
    std::int32_t from_ = 1;
    std::int32_t to_ = std::numeric_limits<std::int32_t>::max();
    std::int32_t last_ = 0;
    bool lastKnown_ = false;
    // Of the records of the range read since the last Rewind: how many were
    // read, and how many of those have a leader that gives indicators,
    // subfield codes or a directory entry map other than CDS/ISIS's.
    std::int64_t read_ = 0;
    std::int64_t otherLeaders_ = 0;
};
