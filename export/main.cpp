#include <cstdio>

#include "Export.hpp"

int main() {
    return ExportDatabase({"ths.mst", "ths.xrf", "formatirani_izlaz.txt"}, stderr);
}
