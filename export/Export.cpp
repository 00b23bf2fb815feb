#include "Export.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "Format.hpp"
#include "OutputFile.hpp"
#include "masterfile/InputFile.hpp"
#include "masterfile/MasterFileReader.hpp"

namespace {

class Messages {
  public:
    explicit Messages(std::FILE* stream) : stream_(stream) {}

    void Say(const std::string& line) {
        ++count_;
        const std::string full = "mstexport: " + line + "\n";
        std::fputs(full.c_str(), stream_);
    }

    int count() const { return count_; }

  private:
    std::FILE* stream_;
    int count_ = 0;
};

std::string Hex(std::uint32_t value) {
    char digits[11];
    std::snprintf(digits, sizeof digits, "0x%08X", static_cast<unsigned>(value));
    return digits;
}

// The FFI layouts' leaders are named, so that the numbers can be checked.
const char* LeaderName(std::int32_t leaderSize) {
    return leaderSize == 22 ? "FFI leader" : leaderSize == 24 ? "aligned FFI leader" : "leader";
}

std::string Describe(const char* masterName, std::int32_t mfn, const RecordProblem& problem) {
    std::string line = std::string(masterName) + ": MFN " + std::to_string(mfn) + ": ";
    switch (problem.kind) {
        case RecordProblem::Kind::PointerMissing:
            return line +
                   "its pointer is missing from the cross-reference file; exported without fields";
        case RecordProblem::Kind::PointerWithoutBlock:
            return line + "its cross-reference pointer " + Hex(problem.pointer) +
                   " names no master file block; exported without fields";
        case RecordProblem::Kind::PastEndOfMaster:
            return line + "the record reaches past the end of the file; exported without fields";
        case RecordProblem::Kind::InconsistentLeader:
            return line + "inconsistent " + LeaderName(problem.leaderSize) + " (MFRL " +
                   std::to_string(problem.mfrl) + ", BASE " + std::to_string(problem.base) +
                   ", NVF " + std::to_string(problem.nvf) + "); exported without fields";
        case RecordProblem::Kind::EntryOutsideData:
            return line + "field with tag " + std::to_string(problem.tag) +
                   " lies outside the data area (POS " + std::to_string(problem.pos) + ", LEN " +
                   std::to_string(problem.len) + ", data area " +
                   std::to_string(problem.dataLength) + " bytes); line left out";
    }
    return line + "damaged record";
}

// Says each problem of the record being read as it is found.
class RecordMessages : public ProblemSink {
  public:
    RecordMessages(Messages& messages, const char* masterName)
        : messages_(messages), masterName_(masterName) {}
    void Report(const RecordProblem& problem) override {
        messages_.Say(Describe(masterName_, mfn, problem));
    }
    std::int32_t mfn = 0;

  private:
    Messages& messages_;
    const char* masterName_;
};

}  // namespace

int ExportDatabase(const ExportFiles& files, std::FILE* messageStream) {
    Messages messages(messageStream);
    std::string reason;

    OutputFile output;
    if (!output.Open(files.output, reason)) {
        messages.Say(std::string("cannot create ") + files.output + ": " + reason);
        return 1;
    }

    MasterFileReader reader;
    InputFile master;
    // Four bytes a record: a smaller buffer serves it as well, and touches
    // fewer pages of fresh memory.
    InputFile crossRef(64 * 1024);
    if (master.Open(files.master, reason)) {
        reader.master = &master;
    } else {
        messages.Say(std::string("cannot read ") + files.master + ": " + reason);
    }
    if (crossRef.Open(files.crossRef, reason)) {
        reader.crossRef = &crossRef;
    } else {
        messages.Say(std::string("cannot read ") + files.crossRef + ": " + reason);
    }

    if (reader.master != nullptr && reader.crossRef != nullptr) {
        if (master.Size() < layout::kControlRecordSize) {
            messages.Say(std::string(files.master) + ": " + std::to_string(master.Size()) +
                         " bytes, too short to hold the 16-byte control record; no records "
                         "exported");
        } else if (reader.ReadControlRecord() != 0) {
            messages.Say(std::string(files.master) +
                         ": the control record could not be read (a read error); no records "
                         "exported");
        } else if (reader.controlRecord.NXTMFN <= 0) {
            messages.Say(std::string(files.master) + ": the control record gives NXTMFN " +
                         std::to_string(reader.controlRecord.NXTMFN) +
                         ", which counts no records; no records exported");
        }
    }

    // Only MFNs whose pointer lies wholly inside the cross-reference file can
    // be found; the loop never goes past them, however large NXTMFN claims.
    const std::int64_t lastMfn = std::max<std::int64_t>(reader.lastMfn, 0);
    const std::int64_t findable =
        reader.crossRef != nullptr ? layout::PointerSlotCount(crossRef.Size()) : 0;
    const std::int64_t exported = std::min(lastMfn, findable);

    RecordMessages problems(messages, files.master);
    RecordFields record;
    FormatContext context{output, {}};
    for (std::int64_t mfn = 1; mfn <= exported && output.Good(); ++mfn) {
        problems.mfn = static_cast<std::int32_t>(mfn);
        reader.ReadRecord(static_cast<std::int32_t>(mfn), record, &problems);
        AppendTaggedRecord(record, context);
    }

    if (lastMfn > findable) {
        messages.Say(std::string(files.crossRef) + ": holds pointers for MFN 1 to " +
                     std::to_string(findable) + " only, but " + files.master + " counts MFN 1 to " +
                     std::to_string(lastMfn) + "; MFN " + std::to_string(findable + 1) +
                     " onwards not exported");
    }
    if (!output.Close()) {
        messages.Say(std::string("cannot write ") + files.output + ": " + output.Error());
    }
    return messages.count() == 0 ? 0 : 1;
}
