#include "Options.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

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

// Applies an option of a format: its value is one of the option's words.
std::string ApplyFormatOption(CommandLine& line, const Option& option, const std::string& value) {
    if (line.formatOptionsOf == nullptr) {
        line.formatOptionsOf = option.format;
    }
    if (option.formatOption->words.empty()) {
        // Any text, or none for an option that takes no value.
        line.format.options.Set(option.longName, value);
        return {};
    }
    std::vector<std::string> words;
    for (const char* word : option.formatOption->words) {
        if (SameWord(value, word)) {
            line.format.options.Set(option.longName, word);
            return {};
        }
        words.emplace_back(word);
    }
    return "--" + option.longName + " takes " + Listed(words, "or") + ", not '" + value + "'";
}

// --format's line in --help and its message: the names of the formats.
std::vector<std::string> FormatNames() {
    std::vector<std::string> names;
    for (const Format* format : Formats()) {
        names.emplace_back(format->name);
    }
    return names;
}

std::vector<Option> MakeOptions() {
    std::vector<std::string> formats = FormatNames();
    formats.front() += " (the default)";
    std::vector<Option> options = {
        {'o', "output", "FILE", "write the export to FILE; '-' is standard output",
         [](CommandLine& line, const Option&, const std::string& value) {
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
         [](CommandLine& line, const Option&, const std::string& value) {
             return ParseMfn("from", value, line.settings.from);
         }},
        {0, "to", "MFN", "export the records up to MFN",
         [](CommandLine& line, const Option&, const std::string& value) {
             return ParseMfn("to", value, line.settings.to);
         }},
        {'f', "format", "FORMAT", Listed(formats, "or"),
         [](CommandLine& line, const Option&, const std::string& value) {
             line.format.format = FindFormat(value);
             if (line.format.format == nullptr) {
                 return "unknown format '" + value + "'; the formats are " +
                        Listed(FormatNames(), "and");
             }
             return std::string();
         }},
        {0, "input", "KIND", "master, or iso2709 (the default for .iso)",
         [](CommandLine& line, const Option&, const std::string& value) {
             for (const auto& [word, input] : {std::pair("master", CommandLine::Input::Master),
                                               std::pair("iso2709", CommandLine::Input::Iso2709)}) {
                 if (SameWord(value, word)) {
                     line.input = input;
                     return std::string();
                 }
             }
             return "--input takes master or iso2709, not '" + value + "'";
         }},
        {'e', "encoding", "NAME", "convert values from the code page NAME to UTF-8",
         [](CommandLine& line, const Option&, const std::string& value) {
             line.settings.charset = Charset::Find(value);
             if (line.settings.charset == nullptr) {
                 return "unknown encoding '" + value + "'; the encodings are " +
                        Charset::NameList();
             }
             return std::string();
         }},
    };
    // The field definition table, for the formats that name fields.
    options.push_back({0, "fdt", "FILE", "field names from FILE, not the database's .fdt",
                       [](CommandLine& line, const Option&, const std::string& value) {
                           if (!line.fieldTable.empty()) {
                               return "more than one field definition table given: '" +
                                      line.fieldTable + "' and '" + value + "'";
                           }
                           if (value.empty()) {
                               return std::string("the field definition table's name is empty");
                           }
                           line.fieldTable = value;
                           return std::string();
                       }});
    options.push_back({0, "no-fdt", nullptr, "no field names, not even the database's .fdt",
                       [](CommandLine& line, const Option&, const std::string&) {
                           line.noFieldTable = true;
                           return std::string();
                       }});
    for (const Format* format : Formats()) {
        for (const FormatOption& option : format->options) {
            options.push_back({0, option.name, option.valueName, option.help, ApplyFormatOption,
                               format, &option});
        }
    }
    options.push_back({0, "info", nullptr, "describe the database instead (JSON with -f jsonl)",
                       [](CommandLine& line, const Option&, const std::string&) {
                           if (line.action == CommandLine::Action::Export) {
                               line.action = CommandLine::Action::Info;
                           }
                           return std::string();
                       }});
    options.push_back({'h', "help", nullptr, "show this help and exit",
                       [](CommandLine& line, const Option&, const std::string&) {
                           line.action = CommandLine::Action::Help;
                           return std::string();
                       }});
    options.push_back({'V', "version", nullptr, "show the version and exit",
                       [](CommandLine& line, const Option&, const std::string&) {
                           if (line.action != CommandLine::Action::Help) {
                               line.action = CommandLine::Action::Version;
                           }
                           return std::string();
                       }});
    return options;
}

}  // namespace

const std::vector<Option>& Options() {
    static const std::vector<Option> options = MakeOptions();
    return options;
}

std::string Listed(const std::vector<std::string>& words, const char* last) {
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        text += (i == 0                  ? ""
                 : i + 1 == words.size() ? std::string(" ") + last + " "
                                         : ", ") +
                words[i];
    }
    return text;
}
