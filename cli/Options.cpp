#include "Options.hpp"

#include <cstdint>
#include <limits>

#include "CommandLine.hpp"

namespace {

// An MFN as a user writes it: decimal digits. Values past the largest MFN
// are clipped to it, as every range is clipped to the database's MFNs.
std::string ParseMfn(const char* option, const std::string& value, std::int32_t& mfn) {
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) {
        return std::string("--") + option + " takes an MFN, a whole number from 1 up, not '" +
               value + "'";
    }
    std::int64_t number = 0;
    for (const char digit : value) {
        number = std::min<std::int64_t>(number * 10 + (digit - '0'),
                                        std::numeric_limits<std::int32_t>::max());
    }
    mfn = static_cast<std::int32_t>(number);
    return {};
}

}  // namespace

const Option kOptions[] = {
    {'o', "output", "FILE", "write the export to FILE; '-' is standard output",
     [](CommandLine& line, const std::string& value) {
         line.settings.output = value;
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
