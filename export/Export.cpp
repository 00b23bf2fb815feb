#include "Export.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "Messages.hpp"
#include "OutputFile.hpp"
#include "ReadOnlyInputs.hpp"
#include "masterfile/DatabaseFiles.hpp"
#include "masterfile/MasterFileReader.hpp"
#include "platform/FileIdentity.hpp"
#include "platform/InputFile.hpp"

namespace {

// The output of a run: opened as the settings say, and at the end written,
// or, when the run cannot finish, left as it was wherever it can be.
class RunOutput {
  public:
    RunOutput(const ExportSettings& settings, Messages& messages, OutputFile::WriteBytes write)
        : settings_(settings), messages_(messages), file_(write) {}

    OutputFile& File() { return file_; }

    // Opens the output the settings name; says why not when it cannot. The
    // run without arguments writes to it directly, as it always has; any
    // other run replaces it only once the export is whole.
    bool Open() {
        if (settings_.output == "-") {
            file_.OpenStandardOutput();
            opened_ = true;
            return true;
        }
        std::string reason;
        opened_ =
            settings_.outputFirst
                ? file_.Open(settings_.output, reason)
                : file_.OpenReplacing(settings_.output,
                                      "mstexport: interrupted" + WhatBecameOfIt() + "\n", reason);
        if (!opened_) {
            messages_.Say("cannot create " + settings_.output + ": " + reason);
        }
        return opened_;
    }

    // Ends a run that cannot export the database: says each of `lines`, the
    // last one with what became of the output. Returns the exit status.
    int GiveUp(std::vector<std::string> lines) {
        if (Kept()) {
            file_.Discard();
            lines.back() += WhatBecameOfIt();
        }
        for (const std::string& line : lines) {
            messages_.Say(line);
        }
        if (!Kept()) {
            Close();
        }
        return 1;
    }

    // Writes the rest and, for a temporary file, puts it in the output's
    // place; says so when that fails.
    void Close() {
        if (!opened_ || file_.Close()) {
            return;
        }
        const std::string& name = settings_.output;
        const std::string shown = name == "-" ? std::string("to standard output") : name;
        messages_.Say((file_.RenameFailed() ? "cannot replace " : "cannot write ") + shown + ": " +
                      file_.Error() + (file_.Replacing() ? WhatBecameOfIt() : std::string()));
    }

    // Ends a run that ran out of memory.
    int OutOfMemory() {
        const bool kept = Kept();
        file_.Discard();
        messages_.Say("out of memory" + (kept ? WhatBecameOfIt() : "; the export is incomplete"));
        return 1;
    }

  private:
    // Whether the output's name still holds what it held before the run: the
    // run has not opened it, or writes to a temporary file.
    bool Kept() const { return settings_.output != "-" && (!opened_ || file_.Replacing()); }

    std::string WhatBecameOfIt() const {
        const std::string& name = settings_.output;
        return "; " + name +
               (IdentifyFile(name).kind == FileKind::Missing ? " was not created"
                                                             : " was left as it was");
    }

    const ExportSettings& settings_;
    Messages& messages_;
    OutputFile file_;
    bool opened_ = false;
};

int Export(const ExportSettings& settings, const DatabaseFiles& files, DatabaseName name,
           const std::string& notFound, Messages& messages, RunOutput& runOutput) {
    ReadOnlyInputs inputs;
    inputs.Add(files.master, "master file");
    inputs.Add(files.crossRef, "cross-reference file");
    if (settings.output != "-") {
        if (const char* role = inputs.RoleOf(settings.output)) {
            messages.Say("the output " + settings.output + " is the database's own " + role +
                         "; nothing was written");
            return 2;
        }
    }
    std::vector<std::string> refusals = inputs.Refusals();
    if (!refusals.empty()) {
        return runOutput.GiveUp(std::move(refusals));
    }
    if (settings.outputFirst && !runOutput.Open()) {
        return 1;
    }
    if (name == DatabaseName::Ambiguous && !settings.outputFirst) {
        // Only a more exact name helps: the command line was wrong.
        messages.Say(notFound);
        return 2;
    }
    if (name != DatabaseName::Found) {
        return runOutput.GiveUp({notFound});
    }

    MasterFileReader reader;
    InputFile master;
    // Four bytes a record: a smaller buffer serves it as well, and touches
    // fewer pages of fresh memory.
    InputFile crossRef(64 * 1024);
    std::vector<std::string> unreadable;
    std::string reason;
    if (master.Open(files.master, reason)) {
        reader.master = &master;
    } else {
        unreadable.push_back("cannot read " + files.master + ": " + reason);
    }
    if (crossRef.Open(files.crossRef, reason)) {
        reader.crossRef = &crossRef;
    } else {
        unreadable.push_back("cannot read " + files.crossRef + ": " + reason);
    }
    if (!unreadable.empty()) {
        return runOutput.GiveUp(std::move(unreadable));
    }

    if (master.Size() < layout::kControlRecordSize) {
        return runOutput.GiveUp({files.master + ": " + std::to_string(master.Size()) +
                                 " bytes, too short to hold the 16-byte control record; no "
                                 "records exported"});
    }
    if (reader.ReadControlRecord() != 0) {
        return runOutput.GiveUp({files.master +
                                 ": the control record could not be read (a read error); no "
                                 "records exported"});
    }
    if (reader.controlRecord.NXTMFN <= 0) {
        return runOutput.GiveUp({files.master + ": the control record gives NXTMFN " +
                                 std::to_string(reader.controlRecord.NXTMFN) +
                                 ", which counts no records; no records exported"});
    }
    // The control record is read before the output is created: a range that
    // starts past the last MFN creates none.
    if (!settings.outputFirst && reader.lastMfn > 0 && settings.from > reader.lastMfn) {
        messages.Say("--from " + std::to_string(settings.from) + " is past the last MFN of " +
                     files.master + ", " + std::to_string(reader.lastMfn) +
                     "; nothing was written");
        return 2;
    }
    if (!settings.outputFirst && !runOutput.Open()) {
        return 1;
    }

    // Only MFNs whose pointer lies wholly inside the cross-reference file can
    // be found; the loop never goes past them, however large NXTMFN claims.
    const std::int64_t lastMfn = std::max<std::int64_t>(reader.lastMfn, 0);
    const std::int64_t findable = layout::PointerSlotCount(crossRef.Size());
    const std::int64_t first = std::max<std::int64_t>(settings.from, 1);
    const std::int64_t last = std::min<std::int64_t>(settings.to, lastMfn);
    const std::int64_t exported = std::min(last, findable);

    OutputFile& output = runOutput.File();
    RecordFields record;
    FormatContext context(output, messages, files.master);
    context.charset = settings.charset;
    context.iso = settings.iso;
    for (std::int64_t mfn = first; mfn <= exported && output.Good(); ++mfn) {
        reader.ReadRecord(static_cast<std::int32_t>(mfn), record, &messages);
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
    // A damaged database still has its export: whatever could be read. One
    // of which no stored record could be read has none to replace an
    // earlier output with.
    if (!settings.outputFirst && messages.StoredRecords() > 0 && !messages.AnyRecordReadable()) {
        return runOutput.GiveUp({"not one record of " + files.master + " could be read"});
    }
    runOutput.Close();
    return messages.Any() ? 1 : 0;
}

}  // namespace

int ExportDatabase(const ExportSettings& settings, std::FILE* messageStream,
                   OutputFile::WriteBytes write) {
    DatabaseFiles files;
    std::string notFound;
    const DatabaseName name = FindDatabaseFiles(settings.database, files, notFound);
    Messages messages(messageStream, files.master, files.crossRef);
    RunOutput output(settings, messages, write);
    try {
        return Export(settings, files, name, notFound, messages, output);
    } catch (const std::bad_alloc&) {
        return output.OutOfMemory();
    }
}
