#include "Export.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "DatabaseInfo.hpp"
#include "InfoReport.hpp"
#include "Messages.hpp"
#include "OutputFile.hpp"
#include "ReadOnlyInputs.hpp"
#include "platform/FileIdentity.hpp"
#include "record/FieldDefinitionTable.hpp"

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

    // Ends a run whose command line asked for nothing the source holds: the
    // export, which holds no record, is discarded as if never begun. Returns
    // the exit status of a command-line error.
    int Withdraw(const std::string& line) {
        file_.Discard();
        messages_.Say(line);
        return 2;
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

// Takes the problems of the pass before the export, which the export says.
class Unsaid final : public ProblemSink {
  public:
    void Report(const RecordProblem&) override {}
};

// Whether the range starts past the source's last MFN, where it is known.
bool StartsPastTheLast(const MfnRange& range, const ExportSettings& settings) {
    return range.lastKnown && range.last > 0 && settings.from > range.last;
}

std::string PastTheLast(const RecordSource& source, const ExportSettings& settings) {
    return "--from " + std::to_string(settings.from) + " is past the last MFN of " + source.Name() +
           ", " + std::to_string(source.Range().last) + "; nothing was written";
}

// Writes each record the source yields in the format, and says how far it got.
void WriteRecords(RecordSource& source, std::int64_t total, const FormatChoice& format,
                  const ExportSettings& settings, const FieldNames* names, Messages& messages,
                  OutputFile& output) {
    const std::unique_ptr<FormatWriter> writer = format.format->make(format.options);
    RecordFields record;
    if (format.format->needsPass) {
        Unsaid unsaid;
        while (source.Next(record, unsaid)) {
            writer->Survey(record);
        }
        source.Rewind();
    }
    FormatContext context(output, messages, source.Name());
    context.charset = settings.charset;
    context.names = names;
    // One comparison a record when nobody asks for progress.
    constexpr std::int64_t kProgressInterval = 4096;
    std::int64_t nextProgress = std::numeric_limits<std::int64_t>::max();
    const std::int64_t first = std::max<std::int64_t>(settings.from, source.Range().first);
    if (settings.progress != nullptr) {
        settings.progress(0, total);
        nextProgress = first + kProgressInterval;
    }
    writer->Begin(context);
    while (output.Good() && source.Next(record, messages)) {
        if (record.mfn >= nextProgress) {
            settings.progress(record.mfn - first, total);
            nextProgress += kProgressInterval;
        }
        writer->Append(record, context);
        if (record.state != RecordFields::State::NotStored) {
            messages.RecordRead(record.state == RecordFields::State::Stored);
        }
    }
    writer->End(context);
    if (settings.progress != nullptr) {
        // A total not known before is known now: the range up to the last MFN.
        const MfnRange range = source.Range();
        const std::int64_t last = range.lastKnown ? std::min(range.last, settings.to) : settings.to;
        const std::int64_t done = total >= 0 ? total : std::max<std::int64_t>(last - first + 1, 0);
        settings.progress(done, done);
    }
}

// What a run does with the records, once the source and the output are
// open: writes them, or describes them.
struct RunBody {
    // Reads the `total` records the source yields and writes the output.
    std::function<void(RecordSource& source, std::int64_t total, const FieldNames* names,
                       Messages& messages, OutputFile& output)>
        records;
    // Whether the output is written when not one stored record could be
    // read: an export of such a database has nothing to replace an earlier
    // one with, a description still says what the files hold.
    bool writtenWhenNoneReadable;
};

int Run(RecordSource& source, const RunBody& body, const ExportSettings& settings,
        Messages& messages, RunOutput& runOutput) {
    ReadOnlyInputs inputs;
    for (const InputName& input : source.Inputs()) {
        inputs.Add(input.name, input.role);
    }
    inputs.Add(settings.fieldTable, "database's own field definition table");
    if (settings.output != "-") {
        if (const char* role = inputs.RoleOf(settings.output)) {
            messages.Say("the output " + settings.output + " is the " + role +
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
    OpenFailure failure;
    if (!source.Open(failure)) {
        if (failure.usage && !settings.outputFirst) {
            // Only a more exact name helps: the command line was wrong.
            for (const std::string& line : failure.lines) {
                messages.Say(line);
            }
            return 2;
        }
        return runOutput.GiveUp(std::move(failure.lines));
    }
    // The source is opened before the output is created: a range that
    // starts past the last MFN creates none.
    if (!settings.outputFirst && StartsPastTheLast(source.Range(), settings)) {
        messages.Say(PastTheLast(source, settings));
        return 2;
    }
    // The field definition table is read before the output is created: one
    // that cannot be read leaves an earlier output as it was.
    std::unique_ptr<FieldNames> names;
    if (!settings.fieldTable.empty()) {
        names = std::make_unique<FieldNames>();
        std::vector<std::string> said;
        std::string unread;
        if (!ReadFieldDefinitionTable(settings.fieldTable, settings.charset, *names, said,
                                      unread)) {
            return runOutput.GiveUp({unread});
        }
        for (const std::string& line : said) {
            messages.Say(line);
        }
    }
    if (!settings.outputFirst && !runOutput.Open()) {
        return 1;
    }

    const std::int64_t total = source.Limit(settings.from, settings.to);
    body.records(source, total, names.get(), messages, runOutput.File());
    // A source that knows its last MFN only once it is read to its end knows
    // only now that the range starts past it.
    if (!settings.outputFirst && StartsPastTheLast(source.Range(), settings)) {
        return runOutput.Withdraw(PastTheLast(source, settings));
    }
    messages.Finish(source);
    for (const std::string& line : source.Shortfalls()) {
        messages.Say(line);
    }
    // A damaged database still has its export: whatever could be read. One
    // of which no stored record could be read has none to replace an
    // earlier output with.
    if (!settings.outputFirst && !body.writtenWhenNoneReadable && messages.StoredRecords() > 0 &&
        !messages.AnyRecordReadable()) {
        return runOutput.GiveUp({"not one record of " + source.Name() + " could be read"});
    }
    runOutput.Close();
    return messages.Any() ? 1 : 0;
}

// Reads every record the source yields for --info, then writes what it
// found.
void DescribeRecords(RecordSource& source, bool json, const std::string& tableName,
                     const FieldNames* names, Messages& messages, OutputFile& output) {
    DatabaseInfo info;
    RecordFields record;
    while (source.Next(record, messages)) {
        info.Add(record, messages);
        if (record.state != RecordFields::State::NotStored) {
            messages.RecordRead(record.state == RecordFields::State::Stored);
        }
    }
    InfoFacts facts;
    facts.database = source.Name();
    facts.source = source.Facts();
    if (names != nullptr) {
        facts.source.insert(
            facts.source.begin() + std::count_if(facts.source.begin(), facts.source.end(),
                                                 [](const SourceFact& fact) {
                                                     return fact.kind == SourceFact::Kind::File;
                                                 }),
            SourceFact{SourceFact::Kind::File, "field definition table", tableName,
                       names->Bytes()});
    }
    facts.records = &info;
    facts.names = names;
    for (int kind = 0; kind < static_cast<int>(ProblemKind::kCount); ++kind) {
        const auto problem = static_cast<ProblemKind>(kind);
        if (CountedWith(problem) == problem && messages.Count(problem) > 0) {
            facts.problems.push_back({ProblemPlural(problem), messages.Count(problem)});
        }
    }
    const std::string text = json ? InfoJson(facts) : InfoText(facts);
    output.Append(text.data(), text.size());
}

int RunWithMessages(RecordSource& source, const RunBody& body, const ExportSettings& settings,
                    std::FILE* messageStream, OutputFile::WriteBytes write) {
    Messages messages(messageStream, source.Name());
    RunOutput output(settings, messages, write);
    try {
        return Run(source, body, settings, messages, output);
    } catch (const std::bad_alloc&) {
        return output.OutOfMemory();
    }
}

}  // namespace

int RunExport(RecordSource& source, const FormatChoice& format, const ExportSettings& settings,
              std::FILE* messageStream, OutputFile::WriteBytes write) {
    const RunBody body{[&](RecordSource& from, std::int64_t total, const FieldNames* names,
                           Messages& messages, OutputFile& output) {
                           WriteRecords(from, total, format, settings, names, messages, output);
                       },
                       false};
    return RunWithMessages(source, body, settings, messageStream, write);
}

int RunInfo(RecordSource& source, bool json, const ExportSettings& settings,
            std::FILE* messageStream, OutputFile::WriteBytes write) {
    const RunBody body{[json, &settings](RecordSource& from, std::int64_t, const FieldNames* names,
                                         Messages& messages, OutputFile& output) {
                           DescribeRecords(from, json, settings.fieldTable, names, messages,
                                           output);
                       },
                       true};
    return RunWithMessages(source, body, settings, messageStream, write);
}
