#include "ExportCheck.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "cli/ExportCommand.hpp"

namespace {

// A database's integers are little-endian, or all big-endian; the export
// follows one order throughout, and the rules are checked in each.
enum class Order { Little, Big };

std::int32_t Int32At(const std::string& bytes, std::size_t at, Order order) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t from = order == Order::Little ? 3 - i : i;
        value = (value << 8) | static_cast<unsigned char>(bytes[at + from]);
    }
    return static_cast<std::int32_t>(value);
}

// MFNs whose whole 4-byte pointer lies in a cross-reference file of `size`
// bytes: 127 per 512-byte block, after the block's own 4-byte number.
std::int64_t FindableMfns(std::int64_t size) {
    const std::int64_t rest = size % 512;
    return 127 * (size / 512) + (rest >= 4 ? (rest - 4) / 4 : 0);
}

// How many records the output must hold, and the one message about the whole
// database that must come with that count, if any.
struct Expectation {
    std::int64_t records = 0;
    std::string databaseMessage;
    bool databaseMessageLast = false;
};

Expectation Expect(const DatabaseFiles& input, const ExportNames& names, Order order) {
    Expectation expect;
    if (input.master.size() < 16) {
        expect.databaseMessage = "mstexport: " + names.master + ": " +
                                 std::to_string(input.master.size()) +
                                 " bytes, too short to hold the 16-byte control record; no "
                                 "records exported";
        return expect;
    }
    const std::int32_t nextMfn = Int32At(input.master, 4, order);
    if (nextMfn <= 0) {
        expect.databaseMessage = "mstexport: " + names.master +
                                 ": the control record gives NXTMFN " + std::to_string(nextMfn) +
                                 ", which counts no records; no records exported";
        return expect;
    }
    const std::int64_t lastMfn = static_cast<std::int64_t>(nextMfn) - 1;
    const std::int64_t findable = FindableMfns(static_cast<std::int64_t>(input.crossRef.size()));
    expect.records = std::min(lastMfn, findable);
    if (lastMfn > findable) {
        expect.databaseMessage = "mstexport: " + names.crossRef + ": holds pointers for MFN 1 to " +
                                 std::to_string(findable) + " only, but " + names.master +
                                 " counts MFN 1 to " + std::to_string(lastMfn) + "; MFN " +
                                 std::to_string(findable + 1) + " onwards not exported";
        expect.databaseMessageLast = true;
    }
    return expect;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The signed decimal number that follows `marker` in `text`.
bool NumberAfter(const std::string& text, const std::string& marker, std::int64_t& number) {
    std::size_t at = text.find(marker);
    if (at == std::string::npos) {
        return false;
    }
    at += marker.size();
    const bool negative = at < text.size() && text[at] == '-';
    at += negative ? 1 : 0;
    const std::size_t digitsStart = at;
    number = 0;
    while (at < text.size() && at - digitsStart < 10 && text[at] >= '0' && text[at] <= '9') {
        number = number * 10 + (text[at++] - '0');
    }
    number = negative ? -number : number;
    return at > digitsStart;
}

// A leader the message calls inconsistent must be: its numbers contradict
// each other in the layout named, 18-byte leaders and 6-byte entries unless
// it names an FFI one. A locked record's MFRL is negative.
bool InconsistentAsSaid(const std::string& what) {
    std::int64_t leaderSize = 18, entrySize = 6;
    if (StartsWith(what, "inconsistent FFI leader (")) {
        leaderSize = 22;
        entrySize = 10;
    } else if (StartsWith(what, "inconsistent aligned FFI leader (")) {
        leaderSize = 24;
        entrySize = 12;
    } else if (!StartsWith(what, "inconsistent leader (")) {
        return false;
    }
    std::int64_t mfrl, base, nvf;
    return NumberAfter(what, "(MFRL ", mfrl) && NumberAfter(what, ", BASE ", base) &&
           NumberAfter(what, ", NVF ", nvf) &&
           (nvf < 0 || base != leaderSize + entrySize * nvf || std::abs(mfrl) < base);
}

// A field left out must lie outside the data area the message gives.
bool OutsideAsSaid(const std::string& what) {
    std::int64_t pos, len, area;
    return NumberAfter(what, "(POS ", pos) && NumberAfter(what, ", LEN ", len) &&
           NumberAfter(what, ", data area ", area) && (pos < 0 || len < 0 || pos + len > area);
}

// A pointer the message says names no block must be so in the
// cross-reference file: not 0, bit 31 clear, block number 0 (which a shift
// of the pointers only makes rarer).
bool PointerAsSaid(const std::string& what, const std::string& crossRef, std::int64_t mfn,
                   Order order) {
    const std::string marker = "its cross-reference pointer 0x";
    if (!StartsWith(what, marker)) {
        return false;
    }
    const std::int64_t index = mfn - 1;
    const auto at = static_cast<std::size_t>(512 * (index / 127) + 4 + 4 * (index % 127));
    const auto pointer = static_cast<std::uint32_t>(Int32At(crossRef, at, order));
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(pointer));
    return what.compare(marker.size(), 8, hex) == 0 && pointer != 0 &&
           (pointer & 0x80000000u) == 0 && (pointer >> 11) == 0;
}

enum class RecordMessage { LineLeftOut, WithoutFields };

// Checks the message lines and collects, per MFN, what they say of it.
std::string CheckMessages(const std::vector<std::string>& lines, const DatabaseFiles& input,
                          const ExportNames& names, Order order, const Expectation& expect,
                          std::map<std::int64_t, RecordMessage>& byMfn, bool& verdictSeen) {
    bool databaseMessageSeen = false;
    verdictSeen = false;
    bool countsSeen = false;
    std::int64_t previousMfn = 0;
    std::map<std::string, int> listedOfKind;
    // Said at the end, in place of the records' messages, when not one
    // record of at least 8 could be read; only the counts follow it.
    const std::string verdict = "mstexport: " + names.master + ": none of the ";
    const std::string about = "mstexport: " + names.master + ": ";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (StartsWith(line, verdict)) {
            std::int64_t unreadable = 0;
            if (verdictSeen || previousMfn != 0 || countsSeen) {
                return "the line about unreadable files is not the first: " + line;
            }
            if (!NumberAfter(line, verdict, unreadable) || unreadable < 8 ||
                unreadable > expect.records) {
                return "the line about unreadable files counts too few records: " + line;
            }
            verdictSeen = true;
            continue;
        }
        if (!expect.databaseMessage.empty() && line == expect.databaseMessage) {
            if (databaseMessageSeen) {
                return "message repeated: " + line;
            }
            if (expect.databaseMessageLast ? i + 1 != lines.size() : lines.size() != 1) {
                return "message out of place: " + line;
            }
            databaseMessageSeen = true;
            continue;
        }
        // "N [more ]<what> (MFN a[ to b])...": the count of messages not listed.
        if (StartsWith(line, about) && line.size() > about.size() && line[about.size()] >= '1' &&
            line[about.size()] <= '9') {
            std::int64_t from = 0;
            std::int64_t to = 0;
            if (!NumberAfter(line, "(MFN ", from)) {
                return "a count line without its MFNs: " + line;
            }
            to = from;
            NumberAfter(line, "(MFN " + std::to_string(from) + " to ", to);
            if (from < 1 || to < from || to > expect.records) {
                return "a count line names MFNs that are not exported: " + line;
            }
            countsSeen = true;
            continue;
        }
        if (countsSeen) {
            return "a message after the count lines: " + line;
        }
        const std::string prefix = "mstexport: " + names.master + ": MFN ";
        if (!StartsWith(line, prefix)) {
            return "unexpected message: " + line;
        }
        std::size_t at = prefix.size();
        std::int64_t mfn = 0;
        while (at < line.size() && line[at] >= '0' && line[at] <= '9' && mfn <= expect.records) {
            mfn = mfn * 10 + (line[at++] - '0');
        }
        if (mfn < 1 || mfn > expect.records || line.compare(at, 2, ": ") != 0) {
            return "message about an MFN that is not exported: " + line;
        }
        if (mfn < previousMfn) {
            return "messages out of MFN order: " + line;
        }
        previousMfn = mfn;
        const std::string what = line.substr(at + 2);
        RecordMessage kind;
        // A read that fails, for want of memory say, may come after what
        // the record's directory said; the record is then left out.
        const bool failedRead =
            what == "the record could not be read (a read error); exported without fields" ||
            what == "the memory ran out while the record was read; exported without fields";
        if (failedRead ||
            what == "the record reaches past the end of the file; exported without fields" ||
            (EndsWith(what, " names no master file block; exported without fields") &&
             PointerAsSaid(what, input.crossRef, mfn, order)) ||
            (EndsWith(what, "); exported without fields") && InconsistentAsSaid(what))) {
            kind = RecordMessage::WithoutFields;
        } else if (StartsWith(what, "field with tag ") &&
                   ((what.find(" lies outside the data area (POS ") != std::string::npos &&
                     EndsWith(what, " bytes); line left out") && OutsideAsSaid(what)) ||
                    EndsWith(what,
                             " could not be read to its end (a read error); written cut "
                             "short"))) {
            kind = RecordMessage::LineLeftOut;
        } else {
            return "unexpected message: " + line;
        }
        if (verdictSeen) {
            return "a record message with the line about unreadable files: " + line;
        }
        const std::string kindName = what.substr(0, what.find_first_of("(0123456789"));
        if (++listedOfKind[kindName] > 20) {
            return "more than 20 messages of one kind: " + line;
        }
        const auto [slot, first] = byMfn.emplace(mfn, kind);
        if (!first && failedRead && slot->second == RecordMessage::LineLeftOut) {
            slot->second = RecordMessage::WithoutFields;
        } else if (!first && (kind == RecordMessage::WithoutFields || slot->second != kind)) {
            return "a record exported without fields has other messages: " + line;
        }
    }
    if (!expect.databaseMessage.empty() && !databaseMessageSeen) {
        return "missing message: " + expect.databaseMessage;
    }
    if (verdictSeen && !countsSeen) {
        return "the line about unreadable files without the counts of their problems";
    }
    return "";
}

// Where one "<TAG>value</TAG>\n" line that starts at `from` can end. A value
// may hold anything but a zero byte, so there may be more than one place; it
// is never longer than the master file, nor than a record can be.
void LineEnds(const std::string& out, std::size_t from, std::size_t longestValue,
              std::vector<std::size_t>& ends) {
    if (from >= out.size() || out[from] != '<') {
        return;
    }
    std::size_t at = from + 1;
    const bool negative = at < out.size() && out[at] == '-';
    at += negative ? 1 : 0;
    const std::size_t digitsStart = at;
    std::int32_t tag = 0;
    while (at < out.size() && at - digitsStart < 6 && out[at] >= '0' && out[at] <= '9') {
        tag = tag * 10 + (out[at++] - '0');
    }
    const std::size_t digits = at - digitsStart;
    if (digits == 0 || digits > 5 || (digits > 1 && out[digitsStart] == '0') ||
        (negative && tag == 0) || tag > (negative ? 32768 : 32767) || at >= out.size() ||
        out[at] != '>') {
        return;
    }
    const std::string closing = "</" + out.substr(from + 1, at - from - 1) + ">\n";
    const std::size_t valueStart = at + 1;
    const std::size_t zero = out.find('\0', valueStart);
    const std::size_t lastStart = std::min(zero, valueStart + longestValue);
    for (std::size_t end = out.find(closing, valueStart);
         end != std::string::npos && end <= lastStart; end = out.find(closing, end + 1)) {
        ends.push_back(end + closing.size());
    }
}

std::string CheckOutput(const std::string& out, const Expectation& expect,
                        const std::map<std::int64_t, RecordMessage>& byMfn, bool noneReadable,
                        std::size_t longestValue) {
    // Positions just after the header of the current record, over every way
    // of reading the output so far.
    std::set<std::size_t> starts;
    const std::string firstHeader = "[RECORD 1]\n";
    if (expect.records == 0) {
        return out.empty() ? "" : "output where no record is exported";
    }
    if (!StartsWith(out, firstHeader)) {
        return "output does not start with [RECORD 1]";
    }
    starts.insert(firstHeader.size());
    std::vector<std::size_t> ends;
    for (std::int64_t mfn = 1; mfn <= expect.records; ++mfn) {
        const auto message = byMfn.find(mfn);
        const bool mustBeEmpty = noneReadable || (message != byMfn.end() &&
                                                  message->second == RecordMessage::WithoutFields);
        std::set<std::size_t> bodyEnds(starts);
        if (!mustBeEmpty) {
            std::vector<std::size_t> todo(starts.begin(), starts.end());
            while (!todo.empty()) {
                const std::size_t at = todo.back();
                todo.pop_back();
                ends.clear();
                LineEnds(out, at, longestValue, ends);
                for (std::size_t end : ends) {
                    if (bodyEnds.insert(end).second) {
                        todo.push_back(end);
                    }
                }
            }
        }
        const std::string separator =
            mfn < expect.records ? "\n\n[RECORD " + std::to_string(mfn + 1) + "]\n" : "\n\n";
        std::set<std::size_t> next;
        for (std::size_t end : bodyEnds) {
            if (out.compare(end, separator.size(), separator) == 0 &&
                (mfn < expect.records || end + separator.size() == out.size())) {
                next.insert(end + separator.size());
            }
        }
        if (next.empty()) {
            return "MFN " + std::to_string(mfn) + ": " +
                   (mustBeEmpty
                        ? "reported without fields, but the body is not empty"
                        : "the body is not a run of <tag>value</tag> lines followed by " +
                              (mfn < expect.records ? "the next header" : std::string("the end")));
        }
        starts.swap(next);
    }
    return "";
}

std::string ReadWhole(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        text.append(chunk, got);
    }
    return text;
}

bool WriteWhole(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

std::string CheckExport(const DatabaseFiles& input, const ExportNames& names,
                        const ExportResult& result) {
    if (result.status != (result.messages.empty() ? 0 : 1)) {
        return "status " + std::to_string(result.status) + " with " +
               (result.messages.empty() ? "no message" : "messages");
    }
    if (!result.messages.empty() && result.messages.back() != '\n') {
        return "the last message does not end with a line feed";
    }
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < result.messages.size();) {
        const std::size_t end = result.messages.find('\n', start);
        lines.push_back(result.messages.substr(start, end - start));
        start = end + 1;
    }
    // FFI values may be as long as the master file.
    const std::size_t longestValue = input.master.size();
    std::string littleEndianProblem;
    for (const Order order : {Order::Little, Order::Big}) {
        const Expectation expect = Expect(input, names, order);
        std::map<std::int64_t, RecordMessage> byMfn;
        bool noneReadable = false;
        std::string problem =
            CheckMessages(lines, input, names, order, expect, byMfn, noneReadable);
        if (problem.empty()) {
            problem = CheckOutput(result.output, expect, byMfn, noneReadable, longestValue);
        }
        if (problem.empty()) {
            return "";
        }
        if (order == Order::Little) {
            littleEndianProblem = problem;
        }
    }
    return littleEndianProblem;
}

ExportNames NamesIn(const std::filesystem::path& directory) {
    return {(directory / "ths.mst").string(), (directory / "ths.xrf").string()};
}

std::optional<ExportResult> ExportInProcess(const DatabaseFiles& input,
                                            const std::filesystem::path& directory) {
    const ExportNames names = NamesIn(directory);
    const std::string outputName = (directory / "formatirani_izlaz.txt").string();
    if (!WriteWhole(names.master, input.master) || !WriteWhole(names.crossRef, input.crossRef)) {
        return std::nullopt;
    }
    std::FILE* messages = std::fopen((directory / "messages").string().c_str(), "w+b");
    if (messages == nullptr) {
        return std::nullopt;
    }
    ExportResult result;
    CommandLine line;
    line.database = names.master;
    line.settings.output = outputName;
    result.status = ExportDatabase(line, messages);
    result.messages = ReadWhole(messages);
    std::fclose(messages);
    // Read in one piece of the file's size: an output may be tens of
    // megabytes, and growing a string to it would allocate twice that.
    std::ifstream in(outputName, std::ios::binary);
    std::error_code error;
    const auto size = std::filesystem::file_size(outputName, error);
    result.output.resize(error ? 0 : static_cast<std::size_t>(size));
    in.read(result.output.data(), static_cast<std::streamsize>(result.output.size()));
    result.output.resize(static_cast<std::size_t>(in.gcount()));
    return result;
}

std::string ExportAndCheck(const DatabaseFiles& input, const std::filesystem::path& directory) {
    const auto result = ExportInProcess(input, directory);
    if (!result) {
        return "cannot write the database or the messages file into " + directory.string();
    }
    return CheckExport(input, NamesIn(directory), *result);
}
