// Writes the sample database of examples/.
#include <iostream>

#include "ExampleDatabase.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_example_database DIRECTORY\n";
        return 2;
    }
    ExampleDatabase().WriteTo(argv[1]);
    std::cout << "wrote " << argv[1] << "/ths.mst and ths.xrf\n";
    return 0;
}
