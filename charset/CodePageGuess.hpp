// Which code page a database's values were most likely written in, from what
// CodePageEvidence gathered of them; or the pages the evidence does not
// separate, named as such rather than guessed between.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Charset.hpp"
#include "CodePageEvidence.hpp"

// How well one charset reads the values.
struct PageFit {
    const Charset* charset = nullptr;
    // Each byte 0x80 and above that reads as a letter fitting where it stands
    // scores 1; one that reads as a misfit scores 0 or less. Under utf-8,
    // every byte scores 1 when all of them make valid sequences.
    std::int64_t points = 0;
    // How many languages it takes, each the one whose alphabet holds most of
    // the letters read that the ones before leave, to hold 95 in 100 of them
    // (kUnknownLanguages when the languages known do not), and which they are
    // (bits of charset::LanguageName); 0 for utf-8 and without letters.
    std::size_t languages = 0;
    std::uint32_t languageBits = 0;
    // utf-8 when some byte 0x80 or above begins no valid sequence.
    bool ruledOut = false;
};

struct CodePageGuess {
    enum class Verdict {
        AllAscii,   // no byte 0x80 or above: any charset reads the values
        OnePage,    // ranking[0] alone reads them well
        Undecided,  // the evidence does not separate the first `candidates`
    };
    static constexpr std::size_t kUnknownLanguages = 99;

    Verdict verdict = Verdict::AllAscii;
    // Every charset, the likeliest first: the candidates, then the others.
    // Among equals, the DOS pages come before the Windows pages and those
    // before the ISO pages, as the generated table orders them.
    std::vector<PageFit> ranking;
    std::size_t candidates = 0;
    // Whether the candidates read every byte that occurs as the same
    // character, so that choosing among them changes nothing.
    bool readAlike = false;
};

CodePageGuess GuessCodePage(const CodePageEvidence& evidence);

// A word kept by the evidence as `charset` reads it, in UTF-8.
std::string DecodeWord(const CodePageEvidence::Word& word, const Charset& charset);

// The words kept whose readings differ under some of `charsets`, in the order
// kept, at most `most` of them.
std::vector<const CodePageEvidence::Word*> WordsThatTellApart(
    const CodePageEvidence& evidence, const std::vector<const Charset*>& charsets,
    std::size_t most);
