#include "CodePageGuess.hpp"

#include <algorithm>
#include <limits>

#include "PageCharacters.hpp"

namespace {

using charset::CharacterKind;
using charset::HighByteCharacter;
using charset::PageCharacters;
using charset::Script;
using Neighbour = CodePageEvidence::Neighbour;

// The points of one occurrence of a byte under a page. A letter fits unless
// its case or script breaks the word it stands in; a sign counts against a
// page only inside a word, where text has letters; box drawing, control
// characters and undefined bytes have no place in a database's text at all.
constexpr std::int64_t kLetter = 1;
constexpr std::int64_t kCaseBreak = -2;    // an upper-case letter right after a lower-case one
constexpr std::int64_t kScriptBreak = -2;  // letters of two scripts side by side
constexpr std::int64_t kSignInsideWord = -1;
constexpr std::int64_t kBoxDrawingBesideWord = -2;
constexpr std::int64_t kBoxDrawingAlone = -1;
constexpr std::int64_t kControlOrUndefined = -3;

// Pages whose points differ by less than this are not told apart: at least
// one clear misfit (a difference of 2), or in a large database one in 500
// bytes, since a few stray bytes are no evidence against a page.
constexpr std::int64_t kLeastMargin = 2;
constexpr std::uint64_t kBytesPerMarginPoint = 500;

// A language's alphabet has to hold this share of a reading's letters.
constexpr std::uint64_t kLettersCovered = 95;

bool IsAsciiLetter(Neighbour neighbour) {
    return neighbour == CodePageEvidence::kLowerAscii || neighbour == CodePageEvidence::kUpperAscii;
}

bool ScriptsDiffer(Script a, Script b) {
    return a != b && a != Script::None && b != Script::None;
}

std::int64_t PointsOf(const HighByteCharacter& character, Neighbour left, Neighbour right) {
    const bool wordLeft = left != CodePageEvidence::kOther;
    const bool wordRight = right != CodePageEvidence::kOther;
    switch (character.kind) {
        case CharacterKind::Undefined:
        case CharacterKind::Control:
            return kControlOrUndefined;
        case CharacterKind::BoxDrawing:
            return wordLeft || wordRight ? kBoxDrawingBesideWord : kBoxDrawingAlone;
        case CharacterKind::Symbol:
        case CharacterKind::Digit:
            return wordLeft && wordRight ? kSignInsideWord : 0;
        case CharacterKind::OtherLetter:
        case CharacterKind::LowerCase:
        case CharacterKind::UpperCase:
            break;
    }
    std::int64_t points = kLetter;
    if (left == CodePageEvidence::kLowerAscii && character.kind == CharacterKind::UpperCase) {
        points += kCaseBreak;
    }
    if (character.kind == CharacterKind::LowerCase && right == CodePageEvidence::kUpperAscii) {
        points += kCaseBreak;
    }
    if (ScriptsDiffer(character.script, Script::Latin) &&
        (IsAsciiLetter(left) || IsAsciiLetter(right))) {
        points += kScriptBreak;
    }
    return points;
}

// What two bytes 0x80 and above side by side add to their own points.
std::int64_t PairPoints(const HighByteCharacter& first, const HighByteCharacter& second) {
    if (!first.IsLetter() || !second.IsLetter()) {
        return 0;
    }
    std::int64_t points = 0;
    if (first.kind == CharacterKind::LowerCase && second.kind == CharacterKind::UpperCase) {
        points += kCaseBreak;
    }
    if (ScriptsDiffer(first.script, second.script)) {
        points += kScriptBreak;
    }
    return points;
}

unsigned char HighByte(std::size_t index) {
    return static_cast<unsigned char>(0x80 + index);
}

std::int64_t PointsUnder(const PageCharacters& page, const CodePageEvidence& evidence) {
    constexpr std::size_t kNeighbours = CodePageEvidence::kNeighbours;
    std::int64_t points = 0;
    for (std::size_t byte = 0; byte < 128; ++byte) {
        for (std::size_t left = 0; left < kNeighbours; ++left) {
            for (std::size_t right = 0; right < kNeighbours; ++right) {
                const auto l = static_cast<Neighbour>(left);
                const auto r = static_cast<Neighbour>(right);
                if (const std::uint64_t count = evidence.Between(HighByte(byte), l, r)) {
                    points += static_cast<std::int64_t>(count) * PointsOf(page.high[byte], l, r);
                }
            }
        }
    }
    for (std::size_t first = 0; first < 128; ++first) {
        for (std::size_t second = 0; second < 128; ++second) {
            if (const std::uint64_t count = evidence.Pair(HighByte(first), HighByte(second))) {
                points += static_cast<std::int64_t>(count) *
                          PairPoints(page.high[first], page.high[second]);
            }
        }
    }
    return points;
}

// Takes languages one at a time, each the one that holds most of the letters
// the ones before it leave, until they hold kLettersCovered in 100 of them.
void CoverLetters(const PageCharacters& page, const CodePageEvidence& evidence, PageFit& fit) {
    std::uint64_t letters[128] = {};
    std::uint64_t total = 0;
    for (std::size_t byte = 0; byte < 128; ++byte) {
        if (page.high[byte].IsLetter()) {
            letters[byte] = evidence.Occurrences(HighByte(byte));
            total += letters[byte];
        }
    }
    const std::uint64_t needed = (total * kLettersCovered + 99) / 100;
    std::uint64_t covered = 0;
    while (covered < needed) {
        std::uint64_t bestGain = 0;
        std::uint32_t bestBit = 0;
        for (std::size_t language = 0; language < charset::kLanguageCount; ++language) {
            const std::uint32_t bit = std::uint32_t{1} << language;
            std::uint64_t gain = 0;
            for (std::size_t byte = 0; byte < 128; ++byte) {
                const std::uint32_t holders = page.high[byte].languages;
                if ((holders & bit) != 0 && (holders & fit.languageBits) == 0) {
                    gain += letters[byte];
                }
            }
            if (gain > bestGain) {
                bestGain = gain;
                bestBit = bit;
            }
        }
        if (bestGain == 0) {
            fit.languages = CodePageGuess::kUnknownLanguages;
            return;
        }
        fit.languageBits |= bestBit;
        ++fit.languages;
        covered += bestGain;
    }
}

std::string DecodeBytes(const unsigned char* bytes, std::size_t length, const Charset& charset) {
    std::string text(Charset::kMostUtf8PerByte * length, '\0');
    ConversionProblem problem;
    const char* end = charset.ToUtf8(bytes, length, &text[0], problem);
    text.resize(static_cast<std::size_t>(end - text.data()));
    return text;
}

bool ReadAlike(const CodePageEvidence& evidence, const std::vector<PageFit>& fits,
               std::size_t count) {
    if (count == 0) {
        return false;
    }
    for (std::size_t i = 1; i < count; ++i) {
        if (fits[i].charset == &Charset::Utf8() || fits[0].charset == &Charset::Utf8()) {
            return false;
        }
    }
    for (std::size_t index = 0; index < 128; ++index) {
        const unsigned char byte = HighByte(index);
        if (evidence.Occurrences(byte) == 0) {
            continue;
        }
        const std::string first = DecodeBytes(&byte, 1, *fits[0].charset);
        for (std::size_t i = 1; i < count; ++i) {
            if (DecodeBytes(&byte, 1, *fits[i].charset) != first) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

CodePageGuess GuessCodePage(const CodePageEvidence& evidence) {
    CodePageGuess guess;
    const std::uint64_t highBytes = evidence.HighBytes();
    PageFit utf8;
    utf8.charset = &Charset::Utf8();
    utf8.ruledOut = evidence.Utf8InvalidBytes() > 0;
    // Text in a single-byte page hardly ever makes valid sequences and
    // nothing else: utf-8 then scores what a page can at best, every byte a
    // fitting letter.
    utf8.points = utf8.ruledOut ? 0 : static_cast<std::int64_t>(highBytes);
    guess.ranking.push_back(utf8);
    for (const PageCharacters& page : charset::SingleBytePages()) {
        PageFit fit;
        fit.charset = Charset::Find(page.name);
        if (fit.charset == nullptr) {
            continue;
        }
        fit.points = PointsUnder(page, evidence);
        CoverLetters(page, evidence, fit);
        guess.ranking.push_back(fit);
    }
    if (highBytes == 0) {
        guess.candidates = guess.ranking.size();
        guess.readAlike = true;
        return guess;
    }

    std::int64_t best = std::numeric_limits<std::int64_t>::min();
    for (const PageFit& fit : guess.ranking) {
        if (!fit.ruledOut) {
            best = std::max(best, fit.points);
        }
    }
    const std::int64_t margin =
        std::max(kLeastMargin, static_cast<std::int64_t>(highBytes / kBytesPerMarginPoint));
    const auto closeToBest = [&](const PageFit& fit) {
        return !fit.ruledOut && fit.points + margin > best;
    };
    // Among the pages that read the bytes equally well, the readings whose
    // letters fewer languages account for: text in a wrong page of the same
    // script reads as letters of many languages at once.
    std::size_t fewest = CodePageGuess::kUnknownLanguages + 1;
    for (const PageFit& fit : guess.ranking) {
        if (closeToBest(fit) && fit.charset != &Charset::Utf8()) {
            fewest = std::min(fewest, fit.languages);
        }
    }
    const auto candidate = [&](const PageFit& fit) {
        return closeToBest(fit) && (fit.charset == &Charset::Utf8() || fit.languages == fewest);
    };
    std::stable_sort(guess.ranking.begin(), guess.ranking.end(),
                     [&](const PageFit& a, const PageFit& b) {
                         if (candidate(a) != candidate(b)) {
                             return candidate(a);
                         }
                         if (a.ruledOut != b.ruledOut) {
                             return b.ruledOut;
                         }
                         if (a.points != b.points) {
                             return a.points > b.points;
                         }
                         return a.languages < b.languages;
                     });
    guess.candidates = static_cast<std::size_t>(
        std::count_if(guess.ranking.begin(), guess.ranking.end(), candidate));
    guess.readAlike = ReadAlike(evidence, guess.ranking, guess.candidates);
    guess.verdict =
        guess.candidates == 1 ? CodePageGuess::Verdict::OnePage : CodePageGuess::Verdict::Undecided;
    return guess;
}

std::string DecodeWord(const CodePageEvidence::Word& word, const Charset& charset) {
    return DecodeBytes(word.bytes, word.length, charset);
}

std::vector<const CodePageEvidence::Word*> WordsThatTellApart(
    const CodePageEvidence& evidence, const std::vector<const Charset*>& charsets,
    std::size_t most) {
    std::vector<const CodePageEvidence::Word*> words;
    for (const CodePageEvidence::Word& word : evidence.Words()) {
        if (words.size() == most || charsets.empty()) {
            break;
        }
        const std::string first = DecodeWord(word, *charsets[0]);
        for (const Charset* charset : charsets) {
            if (DecodeWord(word, *charset) != first) {
                words.push_back(&word);
                break;
            }
        }
    }
    return words;
}
