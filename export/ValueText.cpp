#include "ValueText.hpp"

#include <cstdio>

void ReportBadBytes(FormatContext& context, std::int32_t mfn, std::int32_t tag,
                    const Charset& charset, const ConversionProblem& problem) {
    context.AboutRecord(MessageKind::UndefinedByte, mfn, [&] {
        char byte[8];
        (void)std::snprintf(byte, sizeof byte, "0x%02X",
                            static_cast<unsigned>(problem.firstBadByte));
        const bool utf8 = &charset == &Charset::Utf8();
        std::string text = "field with tag " + std::to_string(tag) + " holds byte " + byte +
                           (utf8 ? " that is not valid UTF-8"
                                 : std::string(", which ") + charset.Name() + " does not define");
        if (problem.badBytes > 1) {
            text += " (" + std::to_string(problem.badBytes) + " such bytes)";
        }
        return text + "; written as U+FFFD";
    });
}
