#include "SameText.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <sstream>
#include <vector>

namespace {

constexpr std::size_t kContextLines = 3;  // shown before and after the differing line
constexpr std::size_t kShownWidth = 100;  // bytes of a line shown at most

struct Line {
    std::size_t start = 0;  // byte offset of its first byte
    std::size_t end = 0;    // offset of its line feed, or the text's end
};

// The lines of `text`, each without its line feed.
std::vector<Line> Lines(const std::string& text) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t feed = text.find('\n', start);
        if (feed == std::string::npos) {
            lines.push_back({start, text.size()});
            return lines;
        }
        lines.push_back({start, feed});
        start = feed + 1;
    }
}

// Bytes as they can be read in a terminal: control bytes, bytes past ASCII
// and the backslash escaped, so that a stray "\r" or a wrong byte shows.
std::string Shown(const std::string& text, std::size_t from, std::size_t to) {
    std::string shown;
    for (std::size_t i = from; i < to; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\\') {
            shown += "\\\\";
        } else if (byte == '\r') {
            shown += "\\r";
        } else if (byte == '\t') {
            shown += "\\t";
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        } else {
            shown += static_cast<char>(byte);
        }
    }
    return shown;
}

// One line of one text, at most kShownWidth bytes of it: those around
// `column` when the line is longer.
std::string ShownLine(const std::string& text, const Line& line, std::size_t column) {
    const std::size_t length = line.end - line.start;
    std::size_t from = 0;
    if (length > kShownWidth && column > kShownWidth / 2) {
        from = std::min(column - kShownWidth / 2, length - kShownWidth);
    }
    const std::size_t to = std::min(length, from + kShownWidth);
    std::string shown = from > 0 ? "..." : "";
    shown += Shown(text, line.start + from, line.start + to);
    if (to < length) {
        shown += "...";
    }
    return shown;
}

// The lines around the `number`th (counted from 0) of `text`.
void Excerpt(std::ostringstream& out, const char* name, const std::string& text, std::size_t number,
             std::size_t column) {
    const std::vector<Line> lines = Lines(text);
    out << "  " << name << ":\n";
    const std::size_t first = number > kContextLines ? number - kContextLines : 0;
    const std::size_t last = std::min(lines.size(), number + kContextLines + 1);
    for (std::size_t i = first; i < last; ++i) {
        char label[32];
        std::snprintf(label, sizeof label, "  %s %6zu | ", i == number ? ">" : " ", i + 1);
        out << label << ShownLine(text, lines[i], i == number ? column : 0);
        if (lines[i].end == text.size()) {
            out << (lines[i].start == lines[i].end ? "<end of text>"
                                                   : "<end of text, without a line feed>");
        }
        out << "\n";
    }
}

}  // namespace

::testing::AssertionResult SameText(const char* actualExpression, const char* expectedExpression,
                                    const std::string& actual, const std::string& expected) {
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    const auto mismatch = std::mismatch(
        actual.begin(),
        actual.begin() + static_cast<std::ptrdiff_t>(std::min(actual.size(), expected.size())),
        expected.begin());
    const auto offset = static_cast<std::size_t>(mismatch.first - actual.begin());
    // Both texts agree up to `offset`, so the line and column are the same in both.
    const std::size_t lineNumber =
        static_cast<std::size_t>(std::count(actual.begin(), mismatch.first, '\n'));
    const std::size_t lineStart = actual.rfind('\n', offset == 0 ? 0 : offset - 1);
    const std::size_t column =
        lineStart == std::string::npos || offset == 0 ? offset : offset - lineStart - 1;

    std::ostringstream out;
    out << actualExpression << " and " << expectedExpression << " differ at byte offset " << offset
        << " (line " << lineNumber + 1 << ", column " << column + 1 << "); ";
    if (actual.size() == expected.size()) {
        out << "both are " << actual.size() << " bytes long.\n";
    } else {
        out << "the first is " << actual.size() << " bytes long, the second " << expected.size()
            << ".\n";
    }
    if (offset == actual.size()) {
        out << "The first ends there; the second goes on.\n";
    } else if (offset == expected.size()) {
        out << "The second ends there; the first goes on.\n";
    }
    out << "Lines around it, '>' marking it (bytes past ASCII and control bytes as \\xNN):\n";
    Excerpt(out, actualExpression, actual, lineNumber, column);
    Excerpt(out, expectedExpression, expected, lineNumber, column);
    return ::testing::AssertionFailure() << out.str();
}
