// Writes the small sample database of examples/: a few bibliographic
// records with several tags, a repeated tag, a record without fields and a
// deleted record.
#include <iostream>

#include "DatabaseWriter.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_example_database DIRECTORY\n";
        return 2;
    }
    DatabaseWriter db;
    db.Add({{{24, "Techniques for the measurement of transpiration of individual plants"},
             {70, "Magalhaes, A.C."},
             {70, "Franco, C.M."},
             {26, "^aParis^bUnesco^c1965"},
             {30, "^ap. 211-224^billus."}}});
    db.Add({{{24, "Soil moisture and plant growth"},
             {70, "Slatyer, R.O."},
             {69, "Paper on: <soil moisture><plant growth>"}}});
    db.Add({});
    const auto deleted = db.Add({{{24, "Withdrawn title"}, {70, "Anonymous"}}});
    db.Delete(deleted);
    db.Add({{{24, "Water relations of plants"},
             {44, "Proceedings of the Symposium on Plant-Water Relationships"},
             {50, "Incl. bibl."}}});
    db.WriteTo(argv[1]);
    std::cout << "wrote " << argv[1] << "/ths.mst and ths.xrf\n";
    return 0;
}
