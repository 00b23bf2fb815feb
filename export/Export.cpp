#include "Export.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "DatabaseFiles.hpp"
#include "Messages.hpp"
#include "OutputFile.hpp"
#include "masterfile/InputFile.hpp"
#include "masterfile/MasterFileReader.hpp"

namespace {

std::string Hex(std::uint32_t value) {
    char digits[11];
    (void)std::snprintf(digits, sizeof digits, "0x%08X", static_cast<unsigned>(value));
    return digits;
}

// The FFI layouts' leaders are named, so that the numbers can be checked.
const char* LeaderName(std::int32_t leaderSize) {
    return leaderSize == 22 ? "FFI leader" : leaderSize == 24 ? "aligned FFI leader" : "leader";
}

std::string Describe(const std::string& masterName, std::int32_t mfn,
                     const RecordProblem& problem) {
    std::string line = masterName + ": MFN " + std::to_string(mfn) + ": ";
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
        case RecordProblem::Kind::ReadError:
            return line + "the record could not be read (a read error); exported without fields";
        case RecordProblem::Kind::OutOfMemory:
            return line + "the memory ran out while the record was read; exported without fields";
    }
    return line + "damaged record";
}

MessageKind KindOf(RecordProblem::Kind kind) {
    switch (kind) {
        case RecordProblem::Kind::PointerMissing:
            return MessageKind::PointerMissing;
        case RecordProblem::Kind::PointerWithoutBlock:
            return MessageKind::PointerWithoutBlock;
        case RecordProblem::Kind::PastEndOfMaster:
            return MessageKind::PastEndOfMaster;
        case RecordProblem::Kind::InconsistentLeader:
            return MessageKind::InconsistentLeader;
        case RecordProblem::Kind::ReadError:
            return MessageKind::ReadError;
        case RecordProblem::Kind::OutOfMemory:
            return MessageKind::OutOfMemory;
        case RecordProblem::Kind::EntryOutsideData:
            break;
    }
    return MessageKind::EntryOutsideData;
}

// Says each problem of the record being read as it is found.
class RecordMessages : public ProblemSink {
  public:
    RecordMessages(Messages& messages, const std::string& masterName)
        : messages_(messages), masterName_(masterName) {}
    void Report(const RecordProblem& problem) override {
        messages_.AboutRecord(KindOf(problem.kind), mfn,
                              [&] { return Describe(masterName_, mfn, problem); });
    }
    std::int32_t mfn = 0;

  private:
    Messages& messages_;
    const std::string& masterName_;
};

// Opens the output the settings name; says why not when it cannot.
bool OpenOutput(const ExportSettings& settings, OutputFile& output, Messages& messages) {
    if (settings.output == "-") {
        output.OpenStandardOutput();
        return true;
    }
    std::string reason;
    if (!output.Open(settings.output, reason)) {
        messages.Say("cannot create " + settings.output + ": " + reason);
        return false;
    }
    return true;
}

}  // namespace

int ExportDatabase(const ExportSettings& settings, std::FILE* messageStream) {
    OutputFile output;
    DatabaseFiles files;
    std::string error;
    const bool found = FindDatabaseFiles(settings.database, files, error);
    Messages messages(messageStream, files.master, files.crossRef);
    if (settings.outputFirst && !OpenOutput(settings, output, messages)) {
        return 1;
    }
    if (!found) {
        messages.Say(error);
        output.Close();
        return 1;
    }

    MasterFileReader reader;
    InputFile master;
    // Four bytes a record: a smaller buffer serves it as well, and touches
    // fewer pages of fresh memory.
    InputFile crossRef(64 * 1024);
    std::string reason;
    if (master.Open(files.master, reason)) {
        reader.master = &master;
    } else {
        messages.Say("cannot read " + files.master + ": " + reason);
    }
    if (crossRef.Open(files.crossRef, reason)) {
        reader.crossRef = &crossRef;
    } else {
        messages.Say("cannot read " + files.crossRef + ": " + reason);
    }
    if (!settings.outputFirst && (reader.master == nullptr || reader.crossRef == nullptr ||
                                  !OpenOutput(settings, output, messages))) {
        return 1;
    }

    if (reader.master != nullptr && reader.crossRef != nullptr) {
        if (master.Size() < layout::kControlRecordSize) {
            messages.Say(files.master + ": " + std::to_string(master.Size()) +
                         " bytes, too short to hold the 16-byte control record; no records "
                         "exported");
        } else if (reader.ReadControlRecord() != 0) {
            messages.Say(files.master +
                         ": the control record could not be read (a read error); no records "
                         "exported");
        } else if (reader.controlRecord.NXTMFN <= 0) {
            messages.Say(files.master + ": the control record gives NXTMFN " +
                         std::to_string(reader.controlRecord.NXTMFN) +
                         ", which counts no records; no records exported");
        }
    }

    // Only MFNs whose pointer lies wholly inside the cross-reference file can
    // be found; the loop never goes past them, however large NXTMFN claims.
    const std::int64_t lastMfn = std::max<std::int64_t>(reader.lastMfn, 0);
    const std::int64_t findable =
        reader.crossRef != nullptr ? layout::PointerSlotCount(crossRef.Size()) : 0;
    const std::int64_t first = std::max<std::int64_t>(settings.from, 1);
    const std::int64_t last = std::min<std::int64_t>(settings.to, lastMfn);
    const std::int64_t exported = std::min(last, findable);

    RecordMessages problems(messages, files.master);
    RecordFields record;
    FormatContext context(output, messages, files.master);
    context.charset = settings.charset;
    context.iso = settings.iso;
    for (std::int64_t mfn = first; mfn <= exported && output.Good(); ++mfn) {
        problems.mfn = static_cast<std::int32_t>(mfn);
        reader.ReadRecord(static_cast<std::int32_t>(mfn), record, &problems);
        settings.format(record, context);
        if (record.state != RecordFields::State::NotStored) {
            messages.RecordRead(record.state == RecordFields::State::Stored);
        }
    }
    messages.Finish();

    if (last > findable) {
        messages.Say(files.crossRef + ": holds pointers for MFN 1 to " + std::to_string(findable) +
                     " only, but " + files.master + " counts MFN 1 to " + std::to_string(lastMfn) +
                     "; MFN " + std::to_string(std::max(first, findable + 1)) +
                     " onwards not exported");
    }
    if (!output.Close()) {
        messages.Say(
            "cannot write " +
            (settings.output == "-" ? std::string("to standard output") : settings.output) + ": " +
            output.Error());
    }
    return messages.Any() ? 1 : 0;
}
