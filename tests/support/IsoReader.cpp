#include "IsoReader.hpp"

#include <stdexcept>

namespace {

std::size_t Number(const std::string& bytes, std::size_t at, std::size_t width) {
    if (at + width > bytes.size()) {
        throw std::runtime_error("a number runs past the end of the record");
    }
    std::size_t value = 0;
    for (std::size_t i = at; i < at + width; ++i) {
        if (bytes[i] < '0' || bytes[i] > '9') {
            throw std::runtime_error("not a digit at " + std::to_string(i));
        }
        value = value * 10 + static_cast<std::size_t>(bytes[i] - '0');
    }
    return value;
}

}  // namespace

std::vector<std::vector<Field>> ReadIso2709(const std::string& iso, const std::string& lineEnd) {
    std::vector<std::vector<Field>> records;
    std::size_t at = 0;
    while (at < iso.size()) {
        // The record's bytes, without the line ends after each 80 of them.
        const std::size_t length = Number(iso, at, 5);
        std::string record;
        while (record.size() < length) {
            const std::size_t line = std::min<std::size_t>(80, length - record.size());
            if (at + line > iso.size()) {
                throw std::runtime_error("a record runs past the end of the file");
            }
            record += iso.substr(at, line);
            at += line;
            if (iso.compare(at, lineEnd.size(), lineEnd) != 0) {
                throw std::runtime_error("no line end at " + std::to_string(at));
            }
            at += lineEnd.size();
        }
        const std::size_t base = Number(record, 12, 5);
        if (base > length || (base - 25) % 12 != 0) {
            throw std::runtime_error("a base address that leaves no room for a directory");
        }
        std::vector<Field> fields;
        for (std::size_t entry = 24; entry + 1 < base; entry += 12) {
            const std::size_t fieldLength = Number(record, entry + 3, 4);
            const std::size_t start = base + Number(record, entry + 7, 5);
            if (fieldLength == 0 || start + fieldLength > length - 1) {
                throw std::runtime_error("a field outside its record");
            }
            fields.push_back({static_cast<std::int16_t>(Number(record, entry, 3)),
                              record.substr(start, fieldLength - 1)});
        }
        records.push_back(fields);
    }
    return records;
}
