// Field definition tables for tests and examples, written as the CDS/ISIS
// programs write them.
#pragma once

#include <string>
#include <vector>

struct FieldTableLine {
    std::string name;
    std::string codes;  // the subfield codes, "abc"
    int tag;
    int length = 100;
    int type = 0;
    bool repeatable = false;
};

// The table's text: the header lines, then "***" (only when there is a
// header), then a line per field: the name padded to 30 columns, the codes
// to 20, then the tag, length, type and repeatable flag, separated by
// spaces. Every line ends in `lineEnd`.
std::string FieldTableText(const std::vector<FieldTableLine>& fields,
                           const std::vector<std::string>& header = {},
                           const std::string& lineEnd = "\r\n");
