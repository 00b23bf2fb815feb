// Writes the CSV fixture database (tests/support/CsvFixture) into a folder,
// with its field definition table and expected.json, the rows its CSV
// export must read back as: {"rows": [[cell, ...], ...]}. CI reads the
// export with Python's csv module and compares.
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>

#include "CsvFixture.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_csv_fixture DIRECTORY\n";
        return 2;
    }
    const std::filesystem::path directory = argv[1];
    const CsvFixture fixture = MakeCsvFixture();
    std::filesystem::create_directories(directory);
    fixture.db.WriteTo(directory);
    WriteFile(directory / "ths.fdt", fixture.table);
    const nlohmann::json expected = {
        {"rows", ExpectedCsvRows(fixture.db, fixture.header, fixture.columns)}};
    WriteFile(directory / "expected.json", expected.dump() + "\n");
    std::cout << "wrote " << directory.string() << "/ths.mst, ths.xrf, ths.fdt and expected.json\n";
    return 0;
}
