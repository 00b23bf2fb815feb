#include "CsvFixture.hpp"

#include "FieldTable.hpp"

CsvFixture MakeCsvFixture() {
    CsvFixture fixture;
    DatabaseWriter& db = fixture.db;
    db.Add({{{24, "comma, in it"},
             {70, "quote \" and \"\" two"},
             {70, "second | with the separator"},
             {44, "line\nfeed and\r\nCR LF and \r alone"},
             {-5, "=1+2"},
             {3, u8"Hollerwöger, Библиотека"}}});
    db.Delete(db.Add({{{24, "deleted"}}}));
    db.AddUnwritten();
    db.Add({});
    db.Add({{{70, ""}, {70, ""}, {300, "  spaces kept  "}, {24, "\"quoted start"}}});
    fixture.table =
        FieldTableText({{"Author, \"personal\"", "", 70}, {"Unused", "", 900}, {"Title", "", 24}});
    // The table's tags in its order, then the others in ascending order.
    fixture.columns = {70, 900, 24, -5, 3, 44, 300};
    fixture.header = {
        "mfn", "Author, \"personal\" (70)", "Unused (900)", "Title (24)", "-5", "3", "44", "300"};
    return fixture;
}

CsvRows ExpectedCsvRows(const DatabaseWriter& db, const std::vector<std::string>& header,
                        const std::vector<int>& columns, const std::string& separator) {
    CsvRows rows = {header};
    for (std::int32_t mfn = 1; mfn <= db.LastMfn(); ++mfn) {
        if (!db.Stored(mfn)) {
            continue;
        }
        std::vector<std::string> row = {std::to_string(mfn)};
        for (const int tag : columns) {
            std::string cell;
            bool first = true;
            for (const Field& field : db.ExpectedFields(mfn)) {
                if (field.tag == tag) {
                    cell += (first ? "" : separator) + field.value;
                    first = false;
                }
            }
            row.push_back(cell);
        }
        rows.push_back(row);
    }
    return rows;
}
