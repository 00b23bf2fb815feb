// Converts a test's bytes through a Charset into a string, from and into
// buffers of exactly the size the conversion is allowed to read and write,
// and checks Utf8Length on the way.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "charset/Charset.hpp"

struct Converted {
    std::string text;
    ConversionProblem problem;
};

inline Converted ConvertToUtf8(const Charset& charset, std::string_view bytes) {
    std::unique_ptr<unsigned char[]> in(new unsigned char[bytes.size()]);
    std::memcpy(in.get(), bytes.data(), bytes.size());
    std::unique_ptr<char[]> out(new char[Charset::kMostUtf8PerByte * bytes.size()]);
    Converted converted;
    const char* end = charset.ToUtf8(in.get(), bytes.size(), out.get(), converted.problem);
    converted.text.assign(static_cast<const char*>(out.get()), end);
    EXPECT_EQ(charset.Utf8Length(in.get(), bytes.size()), converted.text.size())
        << charset.Name() << " length of the conversion of \"" << bytes << "\"";
    return converted;
}

// The names Charset::NameList gives, in its order.
inline std::vector<std::string> CanonicalNames() {
    std::vector<std::string> names;
    const std::string list = Charset::NameList();
    for (std::size_t start = 0, comma = 0; comma != std::string::npos; start = comma + 2) {
        comma = list.find(", ", start);
        names.push_back(list.substr(start, comma - start));
    }
    return names;
}
