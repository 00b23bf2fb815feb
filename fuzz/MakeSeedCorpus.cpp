// Writes the fuzzer's seed corpus: one input per seed database.
#include <iostream>

#include "FuzzInput.hpp"
#include "SeedDatabases.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_seed_corpus DIRECTORY\n";
        return 2;
    }
    const std::filesystem::path directory = argv[1];
    std::filesystem::create_directories(directory);
    for (const auto& [name, db] : SeedDatabases()) {
        WriteFile(directory / name, JoinFuzzInput({db.MasterBytes(), db.CrossRefBytes()}));
    }
    std::cout << "wrote the seed corpus into " << directory.string() << "\n";
    return 0;
}
