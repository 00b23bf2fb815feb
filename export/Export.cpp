#include "Export.hpp"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

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

std::string Describe(const char* masterName, std::int32_t mfn, const RecordProblem& problem) {
    const RecordLeader& leader = problem.leader;
    std::string line = std::string(masterName) + ": MFN " + std::to_string(mfn) + ": ";
    switch (problem.kind) {
        case RecordProblem::Kind::PointerMissing:
            return line +
                   "its pointer is missing from the cross-reference file; exported without fields";
        case RecordProblem::Kind::PastEndOfMaster:
            return line + "the record reaches past the end of the file; exported without fields";
        case RecordProblem::Kind::InconsistentLeader:
            return line + "inconsistent leader (MFRL " + std::to_string(leader.MFRL) + ", BASE " +
                   std::to_string(leader.BASE) + ", NVF " + std::to_string(leader.NVF) +
                   "); exported without fields";
        case RecordProblem::Kind::EntryOutsideData:
            return line + "field with tag " + std::to_string(problem.entry.TAG) +
                   " lies outside the data area (POS " + std::to_string(problem.entry.POS) +
                   ", LEN " + std::to_string(problem.entry.LEN) + ", data area " +
                   std::to_string(leader.MFRL - leader.BASE) + " bytes); line left out";
    }
    return line + "damaged record";
}

// The "[RECORD n]" line of n = 1, 2, and so on. The number is counted up in
// its decimal digits, which costs less than formatting it for every record.
class RecordHeader {
  public:
    // Moves on to the next MFN.
    void Next() {
        std::size_t i = kDigitsStart + digits_;
        while (i > kDigitsStart && line_[i - 1] == '9') {
            line_[--i] = '0';
        }
        if (i > kDigitsStart) {
            ++line_[i - 1];
            return;
        }
        // 9...9 becomes 10...0.
        line_[kDigitsStart] = '1';
        ++digits_;
        line_[kDigitsStart + digits_ - 1] = '0';
        line_[kDigitsStart + digits_] = ']';
        line_[kDigitsStart + digits_ + 1] = '\n';
    }
    void AppendTo(TextBuffer& text) const { text.Append(line_, kDigitsStart + digits_ + 2); }

  private:
    static constexpr std::size_t kDigitsStart = 8;
    char line_[32] = "[RECORD 0]\n";
    std::size_t digits_ = 1;
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
        if (reader.ReadControlRecord() != 0) {
            messages.Say(std::string(files.master) + ": " + std::to_string(master.Size()) +
                         " bytes, too short to hold the 16-byte control record; no records "
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

    std::vector<RecordProblem> problems;
    TextBuffer& text = output.Buffer();
    RecordHeader header;
    for (std::int64_t mfn = 1; mfn <= exported && output.Good(); ++mfn) {
        header.Next();
        header.AppendTo(text);
        reader.AppendRecordText(static_cast<std::int32_t>(mfn), text, &problems);
        text.Append("\n\n", 2);
        output.Flush();
        for (const RecordProblem& problem : problems) {
            messages.Say(Describe(files.master, static_cast<std::int32_t>(mfn), problem));
        }
        problems.clear();
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
