#include "FieldTable.hpp"

namespace {

std::string Padded(std::string text, std::size_t columns) {
    if (text.size() < columns) {
        text.resize(columns, ' ');
    }
    return text;
}

}  // namespace

std::string FieldTableText(const std::vector<FieldTableLine>& fields,
                           const std::vector<std::string>& header, const std::string& lineEnd) {
    std::string text;
    for (const std::string& line : header) {
        text += line + lineEnd;
    }
    if (!header.empty()) {
        text += "***" + lineEnd;
    }
    for (const FieldTableLine& field : fields) {
        text += Padded(field.name, 30) + Padded(field.codes, 20) + std::to_string(field.tag) + " " +
                std::to_string(field.length) + " " + std::to_string(field.type) + " " +
                (field.repeatable ? "1" : "0") + lineEnd;
    }
    return text;
}
