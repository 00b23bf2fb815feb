// A record as text, for callers that want to look at one: a thin layer over
// ReadRecord, as the export reads it.
#include <algorithm>

#include "MasterFileReader.hpp"

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
    for (const FieldValue& field : record.fields) {
        const std::string tag = std::to_string(field.tag);
        text += "<" + tag + ">";
        for (std::size_t done = 0; done < field.length;) {
            const std::size_t count = field.bytes != nullptr
                                          ? field.length
                                          : std::min(LargestPiece(), field.length - done);
            const unsigned char* bytes =
                field.bytes != nullptr
                    ? field.bytes
                    : Piece(field.position + static_cast<std::int64_t>(done), count);
            if (bytes == nullptr) {
                list.Report({ProblemKind::ValueCutShort, mfn, field.tag});
                break;
            }
            text.append(reinterpret_cast<const char*>(bytes), count);
            done += count;
        }
        text += "</" + tag + ">\n";
    }
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
