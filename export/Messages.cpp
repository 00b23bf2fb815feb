#include "Messages.hpp"

#include <utility>

namespace {

// What the count line at the end calls the records or fields of each kind.
const char* Plural(MessageKind kind) {
    switch (kind) {
        case MessageKind::PointerMissing:
            return "records whose pointer is missing from the cross-reference file";
        case MessageKind::PointerWithoutBlock:
            return "records whose cross-reference pointer names no master file block";
        case MessageKind::PastEndOfMaster:
            return "records that reach past the end of the file";
        case MessageKind::InconsistentLeader:
            return "records with an inconsistent leader";
        case MessageKind::EntryOutsideData:
            return "fields outside the data area, left out";
        case MessageKind::ReadError:
            return "records or values that could not be read (read errors)";
        case MessageKind::OutOfMemory:
            return "records that could not be read for want of memory";
        case MessageKind::UndefinedByte:
            return "values with bytes that the encoding does not define, written as U+FFFD";
        case MessageKind::NotUtf8:
            return "values that are not valid UTF-8, written with U+FFFD";
        case MessageKind::IsoTagOutOfRange:
            return "fields left out for tags that ISO 2709 cannot hold";
        case MessageKind::IsoValueTooLong:
            return "fields left out for values longer than ISO 2709 allows";
        case MessageKind::IsoRecordTooLong:
            return "records left out for being longer than ISO 2709 allows";
        case MessageKind::IsoNothingLeft:
            return "records left out for having no field that ISO 2709 can hold";
        case MessageKind::IsoTerminatorInValue:
            return "records with a value that holds an ISO 2709 terminator, written as stored";
        case MessageKind::kCount:
            break;
    }
    return "problems";
}

}  // namespace

Messages::Messages(std::FILE* stream, std::string masterName, std::string crossRefName)
    : stream_(stream), masterName_(std::move(masterName)), crossRefName_(std::move(crossRefName)) {}

void Messages::Print(const std::string& line) {
    // A message that cannot be written cannot be reported either; the exit
    // status still says that something was wrong.
    (void)std::fputs(line.c_str(), stream_);
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

void Messages::SayUnreadable() {
    holding_ = false;
    held_.clear();
    Print("mstexport: " + masterName_ + ": none of the " + std::to_string(storedRecords_) +
          " records that " + crossRefName_ + " locates can be read: the two files may be " +
          "swapped, " + masterName_ + " may not be a master file, or " + crossRefName_ +
          " may belong to another database; their problems are only counted below\n");
    ++said_;
    for (Tally& tally : tallies_) {
        tally.listed = 0;
        tally.restFirst = tally.first;
    }
}

void Messages::Finish() {
    if (!anyReadable_ && storedRecords_ >= kFewestUnreadable) {
        SayUnreadable();
    } else {
        Release();
    }
    for (int kind = 0; kind < static_cast<int>(MessageKind::kCount); ++kind) {
        const Tally& tally = tallies_[kind];
        if (tally.count == tally.listed) {
            continue;
        }
        const std::string range =
            tally.restFirst == tally.last
                ? "MFN " + std::to_string(tally.last)
                : "MFN " + std::to_string(tally.restFirst) + " to " + std::to_string(tally.last);
        Print("mstexport: " + masterName_ + ": " + std::to_string(tally.count - tally.listed) +
              (tally.listed > 0 ? " more " : " ") + Plural(static_cast<MessageKind>(kind)) + " (" +
              range + ")" + (tally.listed > 0 ? ", not listed one by one" : "") + "\n");
    }
}
