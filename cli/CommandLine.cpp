#include "CommandLine.hpp"

#include <algorithm>

#include "Options.hpp"

namespace {

template <typename Match>
const Option* Find(Match match) {
    const auto found = std::find_if(Options().begin(), Options().end(), match);
    return found != Options().end() ? &*found : nullptr;
}

const Option* FindLong(const std::string& name) {
    return Find([&](const Option& option) { return name == option.longName; });
}

const Option* FindShort(char name) {
    return Find([&](const Option& option) { return name == option.shortName; });
}

// --info writes text, or one JSON object with --format=jsonl, to standard
// output unless -o says otherwise; it shows the values under the likely code
// pages rather than under one.
void CheckInfo(CommandLine& line) {
    const std::string format = line.format.format->name;
    if (format != "tagged" && format != "jsonl") {
        line.error = "--info writes text, or JSON with --format=jsonl; not --format=" + format;
    } else if (line.settings.charset != nullptr) {
        line.error =
            "--encoding does not go with --info, which shows the values under the likely "
            "code pages";
    } else if (!line.outputGiven) {
        line.settings.output = "-";
    }
    line.infoJson = format == "jsonl";
}

// What is wrong with --fdt or --no-fdt, given with `line`'s format.
std::string FieldTableError(const CommandLine& line) {
    const char* given = line.noFieldTable ? "--no-fdt" : "--fdt";
    if (!line.fieldTable.empty() && line.noFieldTable) {
        return "--fdt and --no-fdt cannot be given together";
    }
    if (line.format.format->namesFields || line.action == CommandLine::Action::Info) {
        return {};
    }
    std::vector<std::string> naming{"--info"};
    for (const Format* format : Formats()) {
        if (format->namesFields) {
            naming.push_back(std::string("--format=") + format->name);
        }
    }
    return std::string(given) + " goes with " + Listed(naming, "or") + ", which name fields";
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    // The run without arguments is the program as it always was; any
    // argument makes it look at the database before it creates the output.
    line.settings.outputFirst = arguments.empty();
    bool optionsEnded = false;
    bool databaseGiven = false;
    for (std::size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument == "-" || argument.empty() || argument[0] != '-') {
            if (databaseGiven) {
                line.error =
                    "more than one database given: '" + line.database + "' and '" + argument + "'";
            } else if (argument == "-") {
                line.error = "the database cannot come from standard input ('-'); name its files";
            } else if (argument.empty()) {
                line.error = "the database's name is empty";
            }
            line.database = argument;
            databaseGiven = true;
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const Option* option = nullptr;
        std::string shown;  // the option as the user wrote it, for messages
        std::string value;
        bool hasValue = false;
        if (argument[1] == '-') {
            const std::size_t equals = argument.find('=');
            shown = argument.substr(0, equals);
            option = FindLong(shown.substr(2));
            hasValue = equals != std::string::npos;
            value = hasValue ? argument.substr(equals + 1) : "";
        } else {
            shown = argument.substr(0, 2);
            option = FindShort(argument[1]);
            hasValue = argument.size() > 2;
            value = argument.substr(2);
        }
        if (option == nullptr) {
            line.error = "unknown option '" + shown + "'";
        } else if (option->valueName == nullptr && hasValue) {
            line.error = "option '" + shown + "' takes no value";
        } else if (option->valueName != nullptr && !hasValue && i + 1 == arguments.size()) {
            line.error = "option '" + shown + "' needs a value (" + option->valueName + ")";
        } else {
            if (option->valueName != nullptr && !hasValue) {
                value = arguments[++i];
            }
            line.error = option->apply(line, *option, value);
        }
    }
    const Format* optionsOf = line.formatOptionsOf;
    if (line.error.empty() && optionsOf != nullptr && line.format.format != optionsOf) {
        std::vector<std::string> names;
        for (const FormatOption& option : optionsOf->options) {
            names.push_back(std::string("--") + option.name);
        }
        line.error = Listed(names, "and") + (names.size() > 1 ? " go" : " goes") +
                     " with --format=" + optionsOf->name;
    }
    if (line.error.empty() && line.input == CommandLine::Input::Iso2709 && line.database.empty()) {
        line.error = "--input=iso2709 needs the name of the ISO 2709 file";
    }
    if (line.error.empty() && (!line.fieldTable.empty() || line.noFieldTable)) {
        line.error = FieldTableError(line);
    }
    if (line.error.empty() && line.action == CommandLine::Action::Info) {
        CheckInfo(line);
    }
    if (line.error.empty() && line.settings.from > line.settings.to) {
        line.error = "--from " + std::to_string(line.settings.from) + " is after --to " +
                     std::to_string(line.settings.to);
    }
    return line;
}

bool ReadsIso2709(const CommandLine& line) {
    if (line.input != CommandLine::Input::ByName) {
        return line.input == CommandLine::Input::Iso2709;
    }
    const std::string& name = line.database;
    const std::size_t dot = name.size() < 4 ? std::string::npos : name.size() - 4;
    if (dot == std::string::npos || name[dot] != '.') {
        return false;
    }
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return extension == "iso";
}

std::string HelpText() {
    std::string text =
        "Usage: mstexport [OPTIONS] [DATABASE]\n"
        "Export every record of a CDS/ISIS database, in MFN order; with --info,\n"
        "describe it: its files, layout, records and tags, and the code page its\n"
        "values were most likely written in.\n"
        "\n"
        "DATABASE is the master file (/data/CDS.MST), its name without the extension\n"
        "(/data/cds), or a folder, meaning ths in it; the cross-reference file of the\n"
        "same name with the extension .xrf is read beside it. Names match in any case.\n"
        "Without DATABASE: ths.mst and ths.xrf in the current folder. The export goes\n"
        "to formatirani_izlaz.txt in the current folder, and --info to standard output,\n"
        "unless --output says otherwise.\n"
        "\n"
        "DATABASE may also be an ISO 2709 file, such as CDS/ISIS exports: a name that\n"
        "ends in .iso, in any case, or any file with --input=iso2709. Its records are\n"
        "numbered 1, 2, ... in the file's order, as CDS/ISIS numbers those it imports,\n"
        "and --from and --to count them so.\n"
        "\n"
        "Options:\n";
    for (const Option& option : Options()) {
        std::string left = option.shortName != 0 ? std::string("  -") + option.shortName + ", "
                                                 : std::string("      ");
        left += "--" + option.longName;
        if (option.valueName != nullptr) {
            left += std::string("=") + option.valueName;
        }
        left.resize(std::max<std::size_t>(left.size() + 2, 29), ' ');
        text += left + option.help + "\n";
    }
    // The names of the encodings, in lines of at most 79 characters. The
    // headings end in a colon and their lines are indented, as help2man
    // expects of the sections it turns into the manual page's.
    std::string line = " ";
    const std::string names = std::string(Charset::NameList()) + ". Without --encoding, values " +
                              "are written as stored.";
    text += "\nEncodings, for --encoding:\n";
    for (std::size_t at = 0; at < names.size();) {
        const std::size_t end = std::min(names.find(' ', at), names.size());
        const std::string word = names.substr(at, end - at);
        if (line.size() + 1 + word.size() > 79) {
            text += line + "\n";
            line = " ";
        }
        line += " " + word;
        at = end + 1;
    }
    text += line + "\n";
    text +=
        "\n"
        "Exit status:\n"
        "  0  every record was exported\n"
        "  1  something was wrong: each problem is a line on standard error\n"
        "  2  the command line is wrong, names more than one database or field\n"
        "     definition table, gives a --from past the last MFN, or names a file it\n"
        "     reads as the output; no file was created or emptied\n"
        "\n"
        "Examples:\n"
        "  mstexport                  export ths.mst in the current folder\n"
        "  mstexport /data/CDS -o cds.txt\n"
        "                             export /data/CDS.MST (or cds.mst) to cds.txt\n"
        "  mstexport cds -f jsonl -e cp850 -o -\n"
        "                             cds.mst as JSON Lines, in UTF-8 from code page\n"
        "                             850, on standard output\n"
        "  mstexport cds -f jsonl --subfields -e cp850 -o cds.jsonl\n"
        "                             as above, with subfields, and with the names of\n"
        "                             cds.fdt when it is there\n"
        "  mstexport cds -f csv --csv-bom -e cp850 -o cds.csv\n"
        "                             a CSV file for spreadsheet programs, a column\n"
        "                             per tag\n"
        "  mstexport old.iso -o old.txt\n"
        "                             the records of the ISO 2709 file old.iso\n"
        "  mstexport --info /data/CDS describe the database; the last line names the\n"
        "                             likeliest code page as --encoding=NAME\n";
    return text;
}
