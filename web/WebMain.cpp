// The program's entry in the web page. The page's worker hands over the
// arguments a user would give the command line, one at a time, and runs the
// same export as main: the database's files are read from where the worker
// mounted them, the output goes to the device it names with -o, and the
// messages go to standard error, which the worker passes on to the page.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "charset/Charset.hpp"
#include "cli/CommandLine.hpp"
#include "cli/ExportCommand.hpp"
#include "export/Format.hpp"

namespace {

std::vector<std::string>& PendingArguments() {
    static std::vector<std::string> arguments;
    return arguments;
}

// The worker sets Module.onProgress; MFNs fit a double exactly.
EM_JS(void, ReportProgress, (double done, double total), {
    if (Module["onProgress"]) {
        Module["onProgress"](done, total);
    }
});

void Progress(std::int64_t done, std::int64_t total) {
    ReportProgress(static_cast<double>(done), static_cast<double>(total));
}

// `text` as a JSON string.
std::string Quoted(const char* text) {
    std::string quoted = "\"";
    for (const char* c = text; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte == '"' || byte == '\\') {
            quoted += '\\';
            quoted += *c;
        } else if (byte < 0x20) {
            char escape[8];
            (void)std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            quoted += escape;
        } else {
            quoted += *c;
        }
    }
    return quoted + '"';
}

std::string FormatTable() {
    std::string json = "[";
    for (const Format* format : Formats()) {
        json += json.size() > 1 ? ",{\"name\":" : "{\"name\":";
        json += Quoted(format->name) + ",\"options\":[";
        for (const FormatOption& option : format->options) {
            json += &option == format->options.data() ? "{" : ",{";
            // What the page asks for: a word of the list, any text, or a yes.
            const char* value = option.valueName == nullptr ? "none"
                                : option.words.empty()      ? "text"
                                                            : "word";
            json += "\"name\":" + Quoted(option.name) + ",\"help\":" + Quoted(option.help) +
                    ",\"value\":\"" + value + "\",\"words\":[";
            for (const char* word : option.words) {
                json += (word == option.words.front() ? "" : ",") + Quoted(word);
            }
            json += "]}";
        }
        json += "]}";
    }
    return json + "]";
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void mstexport_web_add_argument(const char* argument) {
    PendingArguments().emplace_back(argument);
}

// Runs the export, or --info, with the arguments added since the last run.
// Returns the program's exit status: 0, 1, or 2 for arguments it does not
// take.
EMSCRIPTEN_KEEPALIVE int mstexport_web_run() {
    CommandLine line = ParseCommandLine(PendingArguments());
    PendingArguments().clear();
    if (line.error.empty() && line.action == CommandLine::Action::Info) {
        return DescribeDatabase(line, stderr);
    }
    if (!line.error.empty() || line.action != CommandLine::Action::Export) {
        (void)std::fprintf(stderr, "mstexport: %s\n",
                           line.error.empty() ? "the page runs exports only" : line.error.c_str());
        return 2;
    }
    line.settings.progress = Progress;
    return ExportDatabase(line, stderr);
}

// The names --encoding takes, "cp437, cp850, ..., utf-8", for the page's list.
EMSCRIPTEN_KEEPALIVE const char* mstexport_web_encodings() {
    return Charset::NameList();
}

// The program's table of formats, the default first, as JSON:
// [{"name": "tagged", "options": [{"name", "help", "value", "words": [...]}]},
// ...], where "value" is "word" (one of "words"), "text" or "none".
EMSCRIPTEN_KEEPALIVE const char* mstexport_web_formats() {
    static const std::string table = FormatTable();
    return table.c_str();
}

EMSCRIPTEN_KEEPALIVE const char* mstexport_web_version() {
    return MSTEXPORT_VERSION;
}
}
