#include "Options.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "CommandLine.hpp"

namespace {

// An MFN as a user writes it: decimal digits, 1 or more. Values past the
// largest MFN are clipped to it, as every range is clipped to the database's
// MFNs.
std::string ParseMfn(const char* option, const std::string& value, std::int32_t& mfn) {
    const bool digits =
        !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
    std::int64_t number = 0;
    for (std::size_t i = 0; digits && i < value.size(); ++i) {
        number = std::min<std::int64_t>(number * 10 + (value[i] - '0'),
                                        std::numeric_limits<std::int32_t>::max());
    }
    if (number == 0) {
        return std::string("--") + option + " takes an MFN, a whole number from 1 up, not '" +
               value + "'";
    }
    mfn = static_cast<std::int32_t>(number);
    return {};
}

// Option values are words, which match in any case, as encoding names do.
bool SameWord(const std::string& value, const char* word) {
    std::size_t i = 0;
    for (; i < value.size() && word[i] != '\0'; ++i) {
        const char c = value[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != word[i]) {
            return false;
        }
    }
    return i == value.size() && word[i] == '\0';
}

}  // namespace

constexpr Option kOptions[] = {
    {'o', "output", "FILE", "write the export to FILE; '-' is standard output",
     [](CommandLine& line, const std::string& value) {
         if (line.outputGiven) {
             return "more than one output given: '" + line.settings.output + "' and '" + value +
                    "'";
         }
         if (value.empty()) {
             return std::string("the output's name is empty");
         }
         line.settings.output = value;
         line.outputGiven = true;
         return std::string();
     }},
    {0, "from", "MFN", "export the records from MFN on",
     [](CommandLine& line, const std::string& value) {
         return ParseMfn("from", value, line.settings.from);
     }},
    {0, "to", "MFN", "export the records up to MFN",
     [](CommandLine& line, const std::string& value) {
         return ParseMfn("to", value, line.settings.to);
     }},
    {'f', "format", "FORMAT", "tagged (the default), iso2709 or jsonl",
     [](CommandLine& line, const std::string& value) {
         static const std::pair<const char*, RecordFormat> kFormats[] = {
             {"tagged", AppendTaggedRecord},
             {"iso2709", AppendIso2709Record},
             {"jsonl", AppendJsonLinesRecord},
         };
         for (const auto& [name, format] : kFormats) {
             if (SameWord(value, name)) {
                 line.format.append = format;
                 return std::string();
             }
         }
         return "unknown format '" + value + "'; the formats are tagged, iso2709 and jsonl";
     }},
    {'e', "encoding", "NAME", "convert values from the code page NAME to UTF-8",
     [](CommandLine& line, const std::string& value) {
         line.settings.charset = Charset::Find(value);
         if (line.settings.charset == nullptr) {
             return "unknown encoding '" + value + "'; the encodings are " + Charset::NameList();
         }
         return std::string();
     }},
    {0, "iso-delimiters", "KIND", "iso2709 terminators: control (the default) or hash",
     [](CommandLine& line, const std::string& value) {
         line.isoOptionGiven = true;
         if (SameWord(value, "control") || SameWord(value, "hash")) {
             line.format.iso.terminators = SameWord(value, "hash")
                                               ? IsoOptions::Terminators::Hash
                                               : IsoOptions::Terminators::Control;
             return std::string();
         }
         return "--iso-delimiters takes control or hash, not '" + value + "'";
     }},
    {0, "iso-line-end", "END", "iso2709 line ends: crlf (the default), lf or none",
     [](CommandLine& line, const std::string& value) {
         line.isoOptionGiven = true;
         static const std::pair<const char*, IsoOptions::LineEnd> kEnds[] = {
             {"crlf", IsoOptions::LineEnd::CrLf},
             {"lf", IsoOptions::LineEnd::Lf},
             {"none", IsoOptions::LineEnd::None},
         };
         for (const auto& [name, end] : kEnds) {
             if (SameWord(value, name)) {
                 line.format.iso.lineEnd = end;
                 return std::string();
             }
         }
         return "--iso-line-end takes crlf, lf or none, not '" + value + "'";
     }},
    {'h', "help", nullptr, "show this help and exit",
     [](CommandLine& line, const std::string&) {
         line.action = CommandLine::Action::Help;
         return std::string();
     }},
    {'V', "version", nullptr, "show the version and exit",
     [](CommandLine& line, const std::string&) {
         if (line.action != CommandLine::Action::Help) {
             line.action = CommandLine::Action::Version;
         }
         return std::string();
     }},
};

const std::size_t kOptionCount = sizeof kOptions / sizeof kOptions[0];
