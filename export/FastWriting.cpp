#include "FastWriting.hpp"

namespace fast {

namespace {

char* Put(char* out, const char* text, std::size_t length) {
    std::memcpy(out, text, length);
    return out + length;
}

}  // namespace

SmallTagMarkup::SmallTagMarkup() noexcept : tags() {
    for (int tag = 0; tag < 1000; ++tag) {
        const auto count =
            static_cast<std::size_t>(static_cast<unsigned char>(kSmallTags.bytes[tag][3]));
        Markup& markup = tags[tag];
        markup.open[0] = '<';
        markup.close[0] = '<';
        markup.close[1] = '/';
        for (std::size_t i = 0; i < count; ++i) {
            markup.open[1 + i] = kSmallTags.bytes[tag][i];
            markup.close[2 + i] = kSmallTags.bytes[tag][i];
        }
        markup.open[1 + count] = '>';
        markup.close[2 + count] = '>';
        markup.close[3 + count] = '\n';
        markup.openLength = 2 + count;
        markup.closeLength = 4 + count;
    }
}

const SmallTagMarkup kSmallTagMarkup;

FieldOpenings::FieldOpenings() noexcept : tags() {
    for (int tag = 0; tag < 1000; ++tag) {
        const char* digits = kSmallTags.bytes[tag];
        const auto count = static_cast<std::size_t>(static_cast<unsigned char>(digits[3]));
        char* out = Put(tags[tag].bytes, ",{\"tag\":", 8);
        out = Put(out, digits, count);
        out = Put(out, ",\"value\":\"", 10);
        tags[tag].length = static_cast<std::size_t>(out - tags[tag].bytes);
    }
}

const FieldOpenings kFieldOpenings;

}  // namespace fast
