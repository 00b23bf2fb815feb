// A record rendered as tagged text, for callers that want it as a string.
#include "TaggedLines.hpp"
#include "TextBuffer.hpp"
#include "ValuePieces.hpp"
#include "masterfile/MasterFileReader.hpp"

namespace {

class ProblemList : public ProblemSink {
  public:
    explicit ProblemList(std::vector<RecordProblem>* list) : list_(list) {}
    void Report(const RecordProblem& problem) override {
        if (list_ != nullptr) {
            list_->push_back(problem);
        }
    }

  private:
    std::vector<RecordProblem>* list_;
};

}  // namespace

bool MasterFileReader::AppendRecordText(std::int32_t mfn, std::string& text,
                                        std::vector<RecordProblem>* problems) {
    RecordFields record;
    ProblemList list(problems);
    if (!ReadRecord(mfn, record, &list)) {
        return false;
    }
    TextBuffer lines;
    if (record.valueReader == nullptr) {
        lines.Extend(tagged::WriteLines(lines.Room(tagged::MostLineBytes(record)), record));
    } else {
        for (const FieldValue& field : record.fields) {
            lines.Extend(tagged::WriteOpen(lines.Room(tagged::kMostMarkup), field.tag));
            if (!ForEachPiece(record, field,
                              [&lines](const unsigned char* bytes, std::size_t length) {
                                  lines.Extend(tagged::CopyValue(
                                      lines.Room(length + tagged::kOverrun), bytes, length));
                              })) {
                list.Report({ProblemKind::ValueCutShort, mfn, field.tag});
            }
            lines.Extend(tagged::WriteClose(lines.Room(tagged::kMostMarkup), field.tag));
        }
    }
    text.append(lines.Data(), lines.Size());
    return true;
}

std::optional<std::string> MasterFileReader::RecordText(std::int32_t mfn,
                                                        std::vector<RecordProblem>* problems) {
    std::string text;
    if (!AppendRecordText(mfn, text, problems)) {
        return std::nullopt;
    }
    return text;
}
