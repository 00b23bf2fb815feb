#include <cerrno>
#include <cstdio>
#include <new>
#include <string>

#include "ExportCommand.hpp"
#include "platform/Files.hpp"

namespace {

// Prints the help or the version. A write that fails, to a full disk say,
// is said on standard error and gives exit status 1, as for an export.
int PrintToStandardOutput(const std::string& text) {
    errno = 0;
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
        const std::string reason = SystemReason(errno);
        (void)std::fprintf(stderr, "mstexport: cannot write to standard output: %s\n",
                           reason.c_str());
        return 1;
    }
    return 0;
}

int Run(int argc, char** argv) {
    const CommandLine line = ParseCommandLine(Utf8Arguments(argc, argv));
    if (!line.error.empty()) {
        // Nothing more can be said if standard error cannot be written.
        (void)std::fprintf(stderr, "mstexport: %s\nTry 'mstexport --help'.\n", line.error.c_str());
        return 2;
    }
    switch (line.action) {
        case CommandLine::Action::Help:
            return PrintToStandardOutput(HelpText());
        case CommandLine::Action::Version:
            return PrintToStandardOutput("mstexport " MSTEXPORT_VERSION "\n");
        case CommandLine::Action::Info:
            return DescribeDatabase(line, stderr);
        case CommandLine::Action::Export:
            break;
    }
    return ExportDatabase(line, stderr);
}

}  // namespace

int main(int argc, char** argv) {
    // The export says itself when memory runs out, and what became of the
    // output; this catches what runs out anywhere else.
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        (void)std::fputs("mstexport: out of memory\n", stderr);
        return 1;
    }
}
