// A CDS/ISIS database as a record source: its master file read by MFN
// through its cross-reference file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DatabaseFiles.hpp"
#include "MasterFileReader.hpp"
#include "platform/InputFile.hpp"
#include "record/RecordSource.hpp"

class MasterFileSource final : public RecordSource {
  public:
    // The database that `database` names, as FindDatabaseFiles finds it;
    // what is wrong with the name is said when the source is opened.
    explicit MasterFileSource(const std::string& database);

    const std::string& Name() const override { return files_.master; }
    std::vector<InputName> Inputs() const override;
    bool Open(OpenFailure& failure) override;
    MfnRange Range() const override;
    std::int64_t Limit(std::int32_t from, std::int32_t to) override;
    bool Next(RecordFields& record, ProblemSink& problems) override;
    void Rewind() override;
    std::vector<std::string> Shortfalls() const override;
    std::vector<SourceFact> Facts() const override;
    std::string NoneReadable(long long stored) const override;

  private:
    DatabaseFiles files_;
    DatabaseName found_ = DatabaseName::Missing;
    std::string notFound_;
    // Made when opened, so that a run that cannot be started holds no buffers.
    std::unique_ptr<InputFile> master_;
    std::unique_ptr<InputFile> crossRef_;
    MasterFileReader reader_;
    // The MFNs the control record counts, and those of them whose pointer
    // lies wholly inside the cross-reference file: the only ones that can
    // be found, however many more it claims.
    std::int64_t lastMfn_ = 0;
    std::int64_t findable_ = 0;
    // The range as limited; the last MFN of it that can be found; the next
    // MFN to yield.
    std::int64_t first_ = 1;
    std::int64_t last_ = 0;
    std::int64_t end_ = 0;
    std::int64_t next_ = 1;
};
