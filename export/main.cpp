#include <cstdio>

#include "cli/CommandLine.hpp"
#include "platform/Files.hpp"

int main(int argc, char** argv) {
    const CommandLine line = ParseCommandLine(Utf8Arguments(argc, argv));
    if (!line.error.empty()) {
        std::fprintf(stderr, "mstexport: %s\nTry 'mstexport --help'.\n", line.error.c_str());
        return 2;
    }
    switch (line.action) {
        case CommandLine::Action::Help:
            std::fputs(HelpText().c_str(), stdout);
            return 0;
        case CommandLine::Action::Version:
            std::puts("mstexport " MSTEXPORT_VERSION);
            return 0;
        case CommandLine::Action::Export:
            break;
    }
    return ExportDatabase(line.settings, stderr);
}
