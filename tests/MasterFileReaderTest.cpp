#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "DatabaseWriter.hpp"
#include "TempDir.hpp"
#include "masterfile/MasterFileReader.hpp"

namespace {

const FixtureRecord kFirst{{{24, "Title"}, {70, "Author"}}, 3};
const FixtureRecord kSecond{{{-5, "negative"}, {12345, ""}, {70, "x"}}};

class MasterFileReaderTest : public ::testing::Test {
  protected:
    // Writes `db`, opens its files and stores them in `reader`.
    void Open(const DatabaseWriter& db) {
        db.WriteTo(dir_.path());
        OpenFiles();
    }

    // Opens the ths.mst and ths.xrf that are in the directory now.
    void OpenFiles() {
        master_ = std::make_unique<InputFile>();
        crossRef_ = std::make_unique<InputFile>();
        std::string reason;
        ASSERT_TRUE(master_->Open((dir_.path() / "ths.mst").string().c_str(), reason));
        ASSERT_TRUE(crossRef_->Open((dir_.path() / "ths.xrf").string().c_str(), reason));
        reader_.master = master_.get();
        reader_.crossRef = crossRef_.get();
    }

    void OpenTwoRecords() {
        DatabaseWriter db;
        db.Add(kFirst);
        db.Add(kSecond);
        Open(db);
    }

    TempDir dir_;
    std::unique_ptr<InputFile> master_;
    std::unique_ptr<InputFile> crossRef_;
    MasterFileReader reader_;
};

RecordLeader Sentinel() {
    RecordLeader leader;
    leader.MFN = 999;
    leader.MFRL = 999;
    leader.NVF = 999;
    return leader;
}

void ExpectSentinel(const RecordLeader& leader) {
    EXPECT_EQ(leader.MFN, 999);
    EXPECT_EQ(leader.MFRL, 999);
    EXPECT_EQ(leader.NVF, 999);
}

TEST_F(MasterFileReaderTest, NewReaderHasNothing) {
    MasterFileReader reader;
    EXPECT_EQ(reader.master, nullptr);
    EXPECT_EQ(reader.crossRef, nullptr);
    EXPECT_EQ(reader.lastMfn, 0);
    EXPECT_EQ(reader.ReadControlRecord(), -1);
    EXPECT_FALSE(reader.RecordText(1));
}

TEST_F(MasterFileReaderTest, ControlRecordNeedsBothStreams) {
    OpenTwoRecords();
    reader_.crossRef = nullptr;
    EXPECT_EQ(reader_.ReadControlRecord(), -1);
    EXPECT_EQ(reader_.lastMfn, 0);
    EXPECT_EQ(reader_.controlRecord.NXTMFN, 0);

    reader_.crossRef = crossRef_.get();
    reader_.master = nullptr;
    EXPECT_EQ(reader_.ReadControlRecord(), -1);
    EXPECT_EQ(reader_.lastMfn, 0);
}

TEST_F(MasterFileReaderTest, ControlRecordGivesLastMfn) {
    OpenTwoRecords();
    ASSERT_EQ(reader_.ReadControlRecord(), 0);
    EXPECT_EQ(reader_.controlRecord.NXTMFN, 3);
    EXPECT_EQ(reader_.lastMfn, 2);
}

TEST_F(MasterFileReaderTest, NextMfnOfOneOrLessLeavesNoValidMfn) {
    for (std::int32_t nextMfn : {1, 0, -7, std::numeric_limits<std::int32_t>::min()}) {
        DatabaseWriter db;
        db.Add(kFirst);
        db.SetNextMfn(nextMfn);
        Open(db);
        ASSERT_EQ(reader_.ReadControlRecord(), 0);
        EXPECT_LT(reader_.lastMfn, 1) << nextMfn;
        RecordLeader leader = Sentinel();
        EXPECT_EQ(reader_.ReadLeader(1, &leader), -1);
        ExpectSentinel(leader);
    }
}

TEST_F(MasterFileReaderTest, MasterFileTooShortForControlRecord) {
    OpenTwoRecords();
    WriteFile(dir_.path() / "short.mst", std::string(15, '\x01'));
    InputFile shortMaster;
    std::string reason;
    ASSERT_TRUE(shortMaster.Open((dir_.path() / "short.mst").string().c_str(), reason));
    reader_.master = &shortMaster;
    EXPECT_EQ(reader_.ReadControlRecord(), -1);
    EXPECT_EQ(reader_.lastMfn, 0);
}

TEST_F(MasterFileReaderTest, RecordOperationsRefuseBeforeControlRecord) {
    OpenTwoRecords();
    RecordLeader leader = Sentinel();
    DirectoryEntry directory[3];
    unsigned char data[64] = {'z'};
    for (std::int32_t mfn : {1, 2}) {
        EXPECT_EQ(reader_.ReadLeader(mfn, &leader), -1);
        EXPECT_EQ(reader_.ReadFields(mfn, directory, 1, data, 4), -1);
    }
    ExpectSentinel(leader);
    EXPECT_EQ(data[0], 'z');
}

TEST_F(MasterFileReaderTest, RecordOperationsRefuseMfnsOutOfRangeAndMissingOutputs) {
    OpenTwoRecords();
    ASSERT_EQ(reader_.ReadControlRecord(), 0);
    RecordLeader leader = Sentinel();
    DirectoryEntry directory[3];
    unsigned char data[64] = {'z'};
    for (std::int32_t mfn : {0, -1, 3, std::numeric_limits<std::int32_t>::min()}) {
        EXPECT_EQ(reader_.ReadLeader(mfn, &leader), -1) << mfn;
        EXPECT_EQ(reader_.ReadFields(mfn, directory, 1, data, 4), -1) << mfn;
        EXPECT_FALSE(reader_.RecordText(mfn)) << mfn;
    }
    ExpectSentinel(leader);
    EXPECT_EQ(data[0], 'z');
    EXPECT_EQ(reader_.ReadLeader(1, nullptr), -1);
    EXPECT_EQ(reader_.ReadFields(1, nullptr, 1, data, 4), -1);
    EXPECT_EQ(reader_.ReadFields(1, directory, 1, nullptr, 4), -1);
    EXPECT_EQ(data[0], 'z');
}

TEST_F(MasterFileReaderTest, ReadsLeaderDirectoryAndDataArea) {
    OpenTwoRecords();
    ASSERT_EQ(reader_.ReadControlRecord(), 0);

    RecordLeader leader;
    ASSERT_EQ(reader_.ReadLeader(2, &leader), 0);
    EXPECT_EQ(leader.MFN, 2);
    EXPECT_EQ(leader.NVF, 3);
    EXPECT_EQ(leader.BASE, 18 + 6 * 3);
    EXPECT_EQ(leader.MFRL, 18 + 6 * 3 + 9);

    // Reading another record's leader in between must not matter: every
    // operation finds its record afresh.
    RecordLeader other;
    ASSERT_EQ(reader_.ReadLeader(1, &other), 0);
    EXPECT_EQ(other.STATUS, 3);

    DirectoryEntry directory[3];
    unsigned char data[10];
    ASSERT_EQ(reader_.ReadFields(2, directory, 3, data, 9), 0);
    EXPECT_EQ(directory[0].TAG, -5);
    EXPECT_EQ(directory[1].TAG, 12345);
    EXPECT_EQ(directory[1].LEN, 0);
    EXPECT_EQ(directory[2].POS, 8);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data)), "negativex");
}

TEST_F(MasterFileReaderTest, ReadFieldsWithNoEntriesOrNoData) {
    OpenTwoRecords();
    ASSERT_EQ(reader_.ReadControlRecord(), 0);
    DirectoryEntry directory[1] = {{7, 7, 7}};
    unsigned char data[16];
    // count 0: the data area is read from the byte after the leader
    ASSERT_EQ(reader_.ReadFields(1, directory, 0, data, 6), 0);
    EXPECT_EQ(directory[0].TAG, 7);
    EXPECT_EQ(data[6], 0);
    EXPECT_EQ(data[0], 24);  // the first directory entry's TAG, read as data

    data[0] = 'z';
    ASSERT_EQ(reader_.ReadFields(1, directory, 1, data, 0), 0);
    EXPECT_EQ(data[0], 0);
    EXPECT_EQ(directory[0].TAG, 24);
}

TEST_F(MasterFileReaderTest, PointerFlagsDoNotMoveTheRecord) {
    DatabaseWriter db;
    db.Add(kFirst);
    db.Add(kSecond);
    db.SetPointerFlags(512 | 1024);
    Open(db);
    ASSERT_EQ(reader_.ReadControlRecord(), 0);
    EXPECT_EQ(reader_.RecordText(2), "<-5>negative</-5>\n<12345></12345>\n<70>x</70>\n");
}

TEST_F(MasterFileReaderTest, SaysWhyARecordCannotBeRead) {
    DatabaseWriter db;
    db.Add(kFirst);
    db.Delete(db.Add(kSecond));
    db.AddUnwritten();
    db.Add(kSecond);
    db.SetNextMfn(200);  // more MFNs than the one cross-reference block holds
    std::string master = db.MasterBytes();
    master.resize(static_cast<std::size_t>(db.RecordStart(4) + 20));  // MFN 4 cut short
    db.WriteTo(dir_.path());
    WriteFile(dir_.path() / "ths.mst", master);
    OpenFiles();
    ASSERT_EQ(reader_.ReadControlRecord(), 0);

    RecordLeader leader = Sentinel();
    RecordFault fault = RecordFault::None;
    EXPECT_EQ(reader_.ReadLeader(2, &leader, &fault), -1);
    EXPECT_EQ(fault, RecordFault::NotStored);
    EXPECT_EQ(reader_.ReadLeader(3, &leader, &fault), -1);
    EXPECT_EQ(fault, RecordFault::NotStored);
    EXPECT_EQ(reader_.ReadLeader(128, &leader, &fault), -1);
    EXPECT_EQ(fault, RecordFault::PointerMissing);
    ExpectSentinel(leader);

    // MFN 4's leader is there, its directory and data area are not.
    ASSERT_EQ(reader_.ReadLeader(4, &leader, &fault), 0);
    EXPECT_EQ(fault, RecordFault::None);
    std::vector<DirectoryEntry> directory(static_cast<std::size_t>(leader.NVF));
    std::vector<unsigned char> data(static_cast<std::size_t>(leader.MFRL - leader.BASE) + 1, 'z');
    EXPECT_EQ(reader_.ReadFields(4, directory.data(), leader.NVF, data.data(),
                                 leader.MFRL - leader.BASE, &fault),
              -1);
    EXPECT_EQ(fault, RecordFault::PastEndOfMaster);
    EXPECT_EQ(data[0], 'z');
}

// A master file that shrinks after it was opened (or any read that fails
// where the file's size says there are bytes): the records there could not
// be read, which is not the same as reaching past the end of the file.
TEST_F(MasterFileReaderTest, ReadThatFailsInsideTheFileIsAReadError) {
#ifdef _WIN32
    GTEST_SKIP() << "the test cuts the master file while it is open";
#endif
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::Ffi);
    db.Add(kFirst);
    db.Add({{{1, std::string(300, 'v')}}});  // larger than the buffer below
    for (int i = 0; i < 20; ++i) {
        db.Add(kSecond);
    }
    db.WriteTo(dir_.path());
    InputFile master(64);
    crossRef_ = std::make_unique<InputFile>();
    std::string reason;
    ASSERT_TRUE(master.Open((dir_.path() / "ths.mst").string(), reason));
    ASSERT_TRUE(crossRef_->Open((dir_.path() / "ths.xrf").string(), reason));
    reader_.master = &master;
    reader_.crossRef = crossRef_.get();
    ASSERT_EQ(reader_.ReadControlRecord(), 0);
    ASSERT_EQ(reader_.RecordText(2), "<1>" + std::string(300, 'v') + "</1>\n");
    // Cut inside the data area of MFN 2, whose leader and directory stay.
    std::filesystem::resize_file(dir_.path() / "ths.mst",
                                 static_cast<std::uintmax_t>(db.RecordStart(2) + 100));
    for (const std::int32_t mfn : {2, 15}) {
        std::vector<RecordProblem> problems;
        EXPECT_EQ(reader_.RecordText(mfn, &problems), "") << "MFN " << mfn;
        ASSERT_EQ(problems.size(), 1u) << "MFN " << mfn;
        EXPECT_EQ(problems[0].kind, ProblemKind::ReadError) << "MFN " << mfn;
    }
    RecordLeader leader = Sentinel();
    RecordFault fault = RecordFault::None;
    EXPECT_EQ(reader_.ReadLeader(16, &leader, &fault), -1);
    EXPECT_EQ(fault, RecordFault::ReadError);
    ExpectSentinel(leader);
}

}  // namespace
