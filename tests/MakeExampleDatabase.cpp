// Writes the sample database of examples/ and its field definition table.
#include <filesystem>
#include <iostream>

#include "ExampleDatabase.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_example_database DIRECTORY\n";
        return 2;
    }
    ExampleDatabase().WriteTo(argv[1]);
    WriteFile(std::filesystem::path(argv[1]) / "ths.fdt", ExampleFieldTable());
    std::cout << "wrote " << argv[1] << "/ths.mst, ths.xrf and ths.fdt\n";
    return 0;
}
