// A database written into a temporary directory and opened for the reader,
// with its control record read: the setting of the reader's tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "DatabaseWriter.hpp"
#include "TempDir.hpp"
#include "masterfile/MasterFileReader.hpp"

class OpenDatabase {
  public:
    explicit OpenDatabase(const DatabaseWriter& db) {
        db.WriteTo(dir_.path());
        std::string reason;
        EXPECT_TRUE(master_.Open((dir_.path() / "ths.mst").string().c_str(), reason)) << reason;
        EXPECT_TRUE(crossRef_.Open((dir_.path() / "ths.xrf").string().c_str(), reason)) << reason;
        reader.master = &master_;
        reader.crossRef = &crossRef_;
        EXPECT_EQ(reader.ReadControlRecord(), 0);
    }

  private:
    TempDir dir_;
    InputFile master_;
    InputFile crossRef_;

  public:
    MasterFileReader reader;
};
