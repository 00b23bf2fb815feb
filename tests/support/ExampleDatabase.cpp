#include "ExampleDatabase.hpp"

#include "FieldTable.hpp"

DatabaseWriter ExampleDatabase() {
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
    return db;
}

std::string ExampleFieldTable() {
    return FieldTableText({{"Title", "", 24, 200},
                           {"Personal author", "", 70, 60, 0, true},
                           {"Imprint", "abc", 26, 100},
                           {"Collation", "ab", 30, 60},
                           {"Conference", "", 44, 120},
                           {"Notes", "", 50, 200, 0, true},
                           {"Keywords", "", 69, 200}},
                          {"The sample database of mstexport: one line per field, after ***"});
}
