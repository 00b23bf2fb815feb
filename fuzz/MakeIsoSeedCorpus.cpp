// Writes the ISO 2709 fuzzer's seed corpus: each seed database's ISO 2709
// export in a few variants, and a record as MARC files have them.
#include <iostream>
#include <string>

#include "SeedDatabases.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_iso_seed_corpus DIRECTORY\n";
        return 2;
    }
    const std::filesystem::path directory = argv[1];
    std::filesystem::create_directories(directory);
    for (const auto& [name, db] : SeedDatabases()) {
        WriteFile(directory / (name + "-control-crlf"), db.ExpectedIso2709());
        WriteFile(directory / (name + "-hash-lf"), db.ExpectedIso2709('#', '#', "\n"));
        WriteFile(directory / (name + "-control-none"), db.ExpectedIso2709('\x1E', '\x1D', ""));
    }
    // Indicators, subfield markers and a control field without indicators.
    WriteFile(directory / "marc",
              "00081cam a2200049 a 4500"
              "001000700000"
              "245002400007\x1E"
              "ocm424\x1E"
              "10\x1F"
              "aTitle :\x1F"
              "bsubtitle /\x1E\x1D");
    std::cout << "wrote the ISO 2709 seed corpus into " << directory.string() << "\n";
    return 0;
}
