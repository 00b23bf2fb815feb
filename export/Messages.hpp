// The messages of an export run, on standard error: one line each, starting
// "mstexport: ".
//
// A damaged database can have a problem in every record, so messages about
// records are limited: at most kListed of each kind are printed, and at the
// end one line per kind counts the rest and names the first and last MFN
// concerned. Until a stored record reads well, the messages are held back:
// when not one of the range's stored records can be read, the files are not
// what they are named (swapped, say, or not a master file), and one line of
// the source's own says so at the end in place of them, before the counts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "record/Problems.hpp"
#include "record/RecordSource.hpp"

class Messages : public ProblemSink {
  public:
    static constexpr int kListed = 20;
    // The fewest unreadable stored records, and no readable one, that make
    // the files suspect rather than a few records damaged.
    static constexpr long long kFewestUnreadable = 8;

    // `name` starts the messages about records: the source's.
    Messages(std::FILE* stream, std::string name);

    // A message about the whole run, always printed.
    void Say(const std::string& line);

    // A message about a record, "NAME: MFN n: ..." (the text made only when
    // the line will be printed), tallied by its kind.
    void Report(const RecordProblem& problem) override;

    // Called after each stored record (one whose pointer locates a record,
    // or should), with whether any of it could be read.
    void RecordRead(bool readable) {
        ++storedRecords_;
        if (readable && !anyReadable_) {
            anyReadable_ = true;
            Release();
        }
    }

    // Whether any stored record of the range could be read so far, and how
    // many stored records there were: a run that ends with stored records
    // and not one readable read a database it could not make sense of.
    bool AnyRecordReadable() const { return anyReadable_; }
    long long StoredRecords() const { return storedRecords_; }

    // Prints what is held back, or the line of `source` that says its files
    // cannot be read, then the counts of what was not listed.
    void Finish(const RecordSource& source);

    // How many problems of `kind`, or of a kind counted with it, were
    // reported; `kind` is one that CountedWith gives.
    long long Count(ProblemKind kind) const { return tallies_[static_cast<int>(kind)].count; }

    // Whether anything was said or counted: the run's exit status is then 1.
    bool Any() const { return said_ > 0; }

  private:
    struct Tally {
        long long count = 0;
        int listed = 0;
        std::int32_t first = 0;      // of all
        std::int32_t last = 0;       // of all, and so of the rest
        std::int32_t restFirst = 0;  // of those not listed
    };
    void Print(const std::string& line);
    void Release();

    std::FILE* stream_;
    std::string name_;
    long long said_ = 0;
    Tally tallies_[static_cast<int>(ProblemKind::kCount)];
    // Until a stored record reads well, the listed messages (at most kListed
    // of each kind) are held back: if none does, one line replaces them all.
    bool holding_ = true;
    bool anyReadable_ = false;
    long long storedRecords_ = 0;
    std::vector<std::string> held_;
};
