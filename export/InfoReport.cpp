#include "InfoReport.hpp"

#include <algorithm>
#include <cstdio>

#include "charset/CodePageGuess.hpp"

namespace {

// How many words --info shows, and under how many pages at least.
constexpr std::size_t kWordsShown = 6;
constexpr std::size_t kPagesShown = 3;
constexpr std::size_t kMostPagesShown = 4;

// The code page guess as --info shows it: the pages whose readings it shows,
// and the words it shows under each.
struct CodePageView {
    CodePageGuess guess;
    std::vector<const Charset*> pages;
    std::vector<const CodePageEvidence::Word*> words;
};

CodePageView ViewOf(const CodePageEvidence& evidence) {
    CodePageView view;
    view.guess = GuessCodePage(evidence);
    if (view.guess.verdict == CodePageGuess::Verdict::AllAscii) {
        return view;
    }
    // The candidates, then the pages that read the bytes next best, and at
    // least one of those, so that the user sees what a wrong choice writes.
    std::size_t others = 0;
    for (std::size_t i = 0; i < view.guess.ranking.size(); ++i) {
        const PageFit& fit = view.guess.ranking[i];
        const bool candidate = i < view.guess.candidates;
        const bool wanted = view.pages.size() < kPagesShown || (!candidate && others == 0);
        if (!fit.ruledOut && wanted && view.pages.size() < kMostPagesShown) {
            view.pages.push_back(fit.charset);
            others += candidate ? 0 : 1;
        }
    }
    view.words = WordsThatTellApart(evidence, view.pages, kWordsShown);
    // When every page shown reads them alike, the words show that.
    if (view.words.empty()) {
        for (std::size_t i = 0; i < evidence.Words().size() && i < kWordsShown; ++i) {
            view.words.push_back(&evidence.Words()[i]);
        }
    }
    return view;
}

const char* LikeliestName(const CodePageView& view) {
    return view.guess.verdict == CodePageGuess::Verdict::AllAscii
               ? nullptr
               : view.guess.ranking.front().charset->Name();
}

std::string Joined(const std::vector<std::string>& words) {
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == words.size() ? " and " : ", ") + words[i];
    }
    return text;
}

std::string CandidateNames(const CodePageView& view) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < view.guess.candidates; ++i) {
        names.emplace_back(view.guess.ranking[i].charset->Name());
    }
    return Joined(names);
}

std::string SubfieldCodes(std::uint64_t subfields, const char* before) {
    std::string codes;
    for (int bit = 0; bit < 64; ++bit) {
        if ((subfields >> bit & 1) != 0) {
            codes += before;
            codes += DatabaseInfo::SubfieldCode(bit);
        }
    }
    return codes;
}

// The columns of a table, each as wide as its widest cell, in characters.
class Table {
  public:
    // `alignment`: "l" or "r" for each column, left- or right-aligned; "l"
    // for those it leaves out.
    explicit Table(const char* alignment) : alignment_(alignment) {}

    void Add(std::vector<std::string> row) { rows_.push_back(std::move(row)); }

    std::string Text() const {
        std::vector<std::size_t> widths;
        for (const auto& row : rows_) {
            widths.resize(std::max(widths.size(), row.size()), 0);
            for (std::size_t i = 0; i < row.size(); ++i) {
                widths[i] = std::max(widths[i], Width(row[i]));
            }
        }
        std::string text;
        for (const auto& row : rows_) {
            std::string line;
            for (std::size_t i = 0; i < row.size(); ++i) {
                const std::string padding(widths[i] - Width(row[i]), ' ');
                const bool right = i < alignment_.size() && alignment_[i] == 'r';
                line += "  " + (right ? padding + row[i] : row[i] + padding);
            }
            line.erase(line.find_last_not_of(' ') + 1);
            text += line + "\n";
        }
        return text;
    }

  private:
    // The characters of UTF-8 text: its bytes that are not continuation bytes.
    static std::size_t Width(const std::string& text) {
        return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }));
    }

    std::string alignment_;
    std::vector<std::vector<std::string>> rows_;
};

std::string Number(std::int64_t number) {
    return std::to_string(number);
}

std::string SourceText(const InfoFacts& facts) {
    Table files("llr");
    Table layout("ll");
    for (const SourceFact& fact : facts.source) {
        const std::string number = fact.number >= 0 ? Number(fact.number) : std::string();
        if (fact.kind == SourceFact::Kind::File) {
            files.Add({fact.label, fact.text, number.empty() ? "" : number + " bytes"});
        } else {
            layout.Add({fact.label, fact.text.empty() ? number : fact.text});
        }
    }
    return "Files\n" + files.Text() + "\nLayout\n" + layout.Text();
}

std::string RecordsText(const InfoFacts& facts) {
    const DatabaseInfo::Records& counts = facts.records->RecordCounts();
    std::string text = counts.lastMfn == 0 ? "Records: none\n"
                                           : "Records, MFN " + Number(counts.firstMfn) + " to " +
                                                 Number(counts.lastMfn) + "\n";
    Table table("lr");
    table.Add({"active", Number(counts.active)});
    table.Add({"  empty (no fields)", Number(counts.empty)});
    table.Add({"deleted", Number(counts.deleted)});
    table.Add({"never written", Number(counts.neverWritten)});
    table.Add({"damaged", Number(counts.damaged)});
    text += table.Text();
    if (!facts.problems.empty()) {
        Table problems("rl");
        for (const InfoFacts::Problems& problem : facts.problems) {
            problems.Add({Number(problem.count), problem.plural});
        }
        text += "\nProblems, as the messages count them\n" + problems.Text();
    }
    return text;
}

// A tag the records use or the field definition table defines.
struct TagRow {
    DatabaseInfo::TagUse use;
    const std::string* name = nullptr;
    bool inTable = false;
};

// The tags the records use and those the table defines, in ascending order.
std::vector<TagRow> TagRows(const InfoFacts& facts) {
    std::vector<TagRow> rows;
    for (const DatabaseInfo::TagUse& use : facts.records->Tags()) {
        rows.push_back({use, nullptr, false});
    }
    if (facts.names == nullptr) {
        return rows;
    }
    for (const FieldDefinition& field : facts.names->Fields()) {
        const auto at =
            std::lower_bound(rows.begin(), rows.end(), field.tag,
                             [](const TagRow& row, std::int32_t tag) { return row.use.tag < tag; });
        if (at == rows.end() || at->use.tag != field.tag) {
            DatabaseInfo::TagUse unused;
            unused.tag = field.tag;
            rows.insert(at, {unused, nullptr, false});
        }
    }
    for (TagRow& row : rows) {
        row.name = facts.names->NameOf(row.use.tag);
        row.inTable = row.name != nullptr;
    }
    return rows;
}

std::string TagsText(const InfoFacts& facts) {
    const std::vector<TagRow> rows = TagRows(facts);
    if (rows.empty()) {
        return "Tags: none\n";
    }
    const bool named = facts.names != nullptr;
    Table table(named ? "rlrrrll" : "rrrrl");
    const auto row = [named](std::string tag, std::string name, std::vector<std::string> rest) {
        if (named) {
            rest.insert(rest.begin(), std::move(name));
        }
        rest.insert(rest.begin(), std::move(tag));
        return rest;
    };
    table.Add(row("tag", "name", {"occurrences", "records", "longest", "subfields"}));
    for (const TagRow& tag : rows) {
        const DatabaseInfo::TagUse& use = tag.use;
        std::vector<std::string> rest{Number(use.occurrences), Number(use.records),
                                      Number(static_cast<std::int64_t>(use.longest)),
                                      SubfieldCodes(use.subfields, "^")};
        if (named) {
            rest.emplace_back(!tag.inTable           ? "not in the table"
                              : use.occurrences == 0 ? "never used"
                                                     : "");
        }
        table.Add(row(Number(use.tag), tag.name != nullptr ? *tag.name : "", std::move(rest)));
    }
    return "Tags\n" + table.Text();
}

std::string CodePageText(const InfoFacts& facts, const CodePageView& view) {
    const CodePageEvidence& evidence = facts.records->Evidence();
    if (view.guess.verdict == CodePageGuess::Verdict::AllAscii) {
        return "Bytes above 0x7F: none; every value is ASCII.\nNo --encoding is needed.\n";
    }
    std::string text =
        "Bytes above 0x7F: " + Number(static_cast<std::int64_t>(evidence.HighBytes())) + ", in " +
        Number(facts.records->ValuesWithHighBytes()) + " of " + Number(facts.records->Values()) +
        " values\n";
    if (!view.words.empty()) {
        text += "Words that hold them, under the likeliest code pages:\n";
        Table table("");
        std::vector<std::string> names;
        for (const Charset* page : view.pages) {
            names.emplace_back(page->Name());
        }
        table.Add(names);
        for (const CodePageEvidence::Word* word : view.words) {
            std::vector<std::string> readings;
            for (const Charset* page : view.pages) {
                readings.push_back(DecodeWord(*word, *page));
            }
            table.Add(readings);
        }
        text += table.Text();
    }
    const std::string likeliest = LikeliestName(view);
    if (view.guess.verdict == CodePageGuess::Verdict::OnePage) {
        text += "Only " + likeliest + " reads them as letters that fit where they stand:\n";
    } else if (view.guess.readAlike) {
        text += CandidateNames(view) + " read them alike, so " +
                (view.guess.candidates == 2 ? "either" : "any of them") +
                " gives the same export:\n";
    } else {
        text += "Nothing in the values tells " + CandidateNames(view) +
                " apart: compare their words above. The likeliest:\n";
    }
    return text + "--encoding=" + likeliest + "\n";
}

void AppendString(std::string& json, const std::string& text) {
    // Valid UTF-8 whatever a file's name holds.
    std::string utf8(Charset::kMostUtf8PerByte * text.size(), '\0');
    ConversionProblem problem;
    utf8.resize(static_cast<std::size_t>(
        Charset::Utf8().ToUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                               &utf8[0], problem) -
        utf8.data()));
    json += '"';
    for (const char c : utf8) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            (void)std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            json += escape;
        } else {
            json += c;
        }
    }
    json += '"';
}

// "records with 18-byte leaders" as a key: records_with_18_byte_leaders.
std::string Key(const std::string& label) {
    std::string key;
    for (const char c : label) {
        const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (c >= 'A' && c <= 'Z') {
            key += static_cast<char>(c - 'A' + 'a');
        } else if (alphanumeric) {
            key += c;
        } else if (!key.empty() && key.back() != '_') {
            key += '_';
        }
    }
    return key;
}

class JsonObject {
  public:
    explicit JsonObject(std::string& json) : json_(json) { json_ += '{'; }
    ~JsonObject() { json_ += '}'; }
    JsonObject(const JsonObject&) = delete;
    JsonObject& operator=(const JsonObject&) = delete;

    std::string& Member(const std::string& key) {
        json_ += first_ ? "" : ",";
        first_ = false;
        AppendString(json_, key);
        json_ += ':';
        return json_;
    }
    void Number(const std::string& key, std::int64_t number) {
        Member(key) += std::to_string(number);
    }
    void String(const std::string& key, const std::string& text) {
        AppendString(Member(key), text);
    }

  private:
    std::string& json_;
    bool first_ = true;
};

// A JSON array of `items`, each written by `write(json, item)`.
template <typename Items, typename Write>
void AppendArray(std::string& json, const Items& items, Write write) {
    json += '[';
    bool first = true;
    for (const auto& item : items) {
        json += first ? "" : ",";
        first = false;
        write(json, item);
    }
    json += ']';
}

void AppendCodePage(std::string& json, const InfoFacts& facts, const CodePageView& view) {
    const CodePageEvidence& evidence = facts.records->Evidence();
    const char* likeliest = LikeliestName(view);
    JsonObject object(json);
    object.Number("bytes_above_7f", static_cast<std::int64_t>(evidence.HighBytes()));
    object.Number("values", facts.records->Values());
    object.Number("values_with_bytes_above_7f", facts.records->ValuesWithHighBytes());
    object.String("verdict", view.guess.verdict == CodePageGuess::Verdict::AllAscii  ? "ascii"
                             : view.guess.verdict == CodePageGuess::Verdict::OnePage ? "one page"
                                                                                     : "undecided");
    // Every page reads ASCII: none is a candidate for what there is not.
    std::vector<const Charset*> candidates;
    for (std::size_t i = 0; i < view.guess.candidates && likeliest != nullptr; ++i) {
        candidates.push_back(view.guess.ranking[i].charset);
    }
    AppendArray(object.Member("candidates"), candidates,
                [](std::string& out, const Charset* page) { AppendString(out, page->Name()); });
    object.Member("read_alike") += view.guess.readAlike ? "true" : "false";
    AppendArray(object.Member("pages"), view.pages,
                [](std::string& out, const Charset* page) { AppendString(out, page->Name()); });
    AppendArray(object.Member("words"), view.words,
                [&view](std::string& out, const CodePageEvidence::Word* word) {
                    JsonObject readings(out);
                    for (const Charset* page : view.pages) {
                        readings.String(page->Name(), DecodeWord(*word, *page));
                    }
                });
    if (likeliest == nullptr) {
        object.Member("encoding") += "null";
    } else {
        object.String("encoding", likeliest);
    }
}

}  // namespace

std::string InfoText(const InfoFacts& facts) {
    const CodePageView view = ViewOf(facts.records->Evidence());
    return "Database " + facts.database + "\n\n" + SourceText(facts) + "\n" + RecordsText(facts) +
           "\n" + TagsText(facts) + "\n" + CodePageText(facts, view);
}

std::string InfoJson(const InfoFacts& facts) {
    const CodePageView view = ViewOf(facts.records->Evidence());
    std::string json;
    {
        JsonObject object(json);
        object.String("database", facts.database);
        std::vector<const SourceFact*> files;
        std::vector<const SourceFact*> layout;
        for (const SourceFact& fact : facts.source) {
            (fact.kind == SourceFact::Kind::File ? files : layout).push_back(&fact);
        }
        AppendArray(object.Member("files"), files, [](std::string& out, const SourceFact* file) {
            JsonObject entry(out);
            entry.String("role", file->label);
            entry.String("name", file->text);
            entry.Number("bytes", file->number);
        });
        {
            JsonObject found(object.Member("layout"));
            for (const SourceFact* fact : layout) {
                if (fact->text.empty()) {
                    found.Number(Key(fact->label), fact->number);
                } else {
                    found.String(Key(fact->label), fact->text);
                }
            }
        }
        const DatabaseInfo::Records& counts = facts.records->RecordCounts();
        {
            JsonObject records(object.Member("records"));
            records.Number("first_mfn", counts.firstMfn);
            records.Number("last_mfn", counts.lastMfn);
            records.Number("active", counts.active);
            records.Number("empty", counts.empty);
            records.Number("deleted", counts.deleted);
            records.Number("never_written", counts.neverWritten);
            records.Number("damaged", counts.damaged);
        }
        AppendArray(object.Member("problems"), facts.problems,
                    [](std::string& out, const InfoFacts::Problems& problem) {
                        JsonObject entry(out);
                        entry.String("what", problem.plural);
                        entry.Number("count", problem.count);
                    });
        AppendArray(object.Member("tags"), TagRows(facts),
                    [named = facts.names != nullptr](std::string& out, const TagRow& tag) {
                        const DatabaseInfo::TagUse& use = tag.use;
                        JsonObject entry(out);
                        entry.Number("tag", use.tag);
                        if (tag.name != nullptr) {
                            entry.String("name", *tag.name);
                        }
                        if (named) {
                            entry.Member("in_table") += tag.inTable ? "true" : "false";
                        }
                        entry.Number("occurrences", use.occurrences);
                        entry.Number("records", use.records);
                        entry.Number("longest", static_cast<std::int64_t>(use.longest));
                        entry.String("subfields", SubfieldCodes(use.subfields, ""));
                    });
        AppendCodePage(object.Member("code_page"), facts, view);
    }
    return json + "\n";
}
