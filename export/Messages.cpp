#include "Messages.hpp"

#include <utility>

Messages::Messages(std::FILE* stream, std::string name) : stream_(stream), name_(std::move(name)) {}

void Messages::Print(const std::string& line) {
    // A message that cannot be written cannot be reported either; the exit
    // status still says that something was wrong.
    (void)std::fputs(line.c_str(), stream_);
}

void Messages::Report(const RecordProblem& problem) {
    Tally& tally = tallies_[static_cast<int>(CountedWith(problem.kind))];
    const std::int32_t mfn = problem.mfn;
    ++said_;
    tally.first = tally.count == 0 ? mfn : tally.first;
    tally.last = mfn;
    ++tally.count;
    if (tally.listed >= kListed) {
        tally.restFirst = tally.count - tally.listed == 1 ? mfn : tally.restFirst;
        return;
    }
    ++tally.listed;
    std::string line =
        "mstexport: " + name_ + ": MFN " + std::to_string(mfn) + ": " + ProblemText(problem) + "\n";
    if (holding_) {
        held_.push_back(std::move(line));
    } else {
        Print(line);
    }
}

void Messages::Say(const std::string& line) {
    ++said_;
    Print("mstexport: " + line + "\n");
}

void Messages::Release() {
    holding_ = false;
    for (const std::string& line : held_) {
        Print(line);
    }
    held_.clear();
}

void Messages::Finish(const RecordSource& source) {
    if (!anyReadable_ && storedRecords_ >= kFewestUnreadable) {
        // One line in place of the records' messages, which are only counted.
        holding_ = false;
        held_.clear();
        Say(source.NoneReadable(storedRecords_));
        for (Tally& tally : tallies_) {
            tally.listed = 0;
            tally.restFirst = tally.first;
        }
    } else {
        Release();
    }
    for (int kind = 0; kind < static_cast<int>(ProblemKind::kCount); ++kind) {
        const Tally& tally = tallies_[kind];
        if (tally.count == tally.listed) {
            continue;
        }
        const std::string range =
            tally.restFirst == tally.last
                ? "MFN " + std::to_string(tally.last)
                : "MFN " + std::to_string(tally.restFirst) + " to " + std::to_string(tally.last);
        Print("mstexport: " + name_ + ": " + std::to_string(tally.count - tally.listed) +
              (tally.listed > 0 ? " more " : " ") + ProblemPlural(static_cast<ProblemKind>(kind)) +
              " (" + range + ")" + (tally.listed > 0 ? ", not listed one by one" : "") + "\n");
    }
}
