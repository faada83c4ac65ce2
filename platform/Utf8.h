// UTF-8 decoding, one character at a time, for every part that reads UTF-8:
// the ID3v2 text of encoding 3, the native build's file names, the command's
// output. Portable; header only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform {

struct TUtf8Sequence {
    char32_t codePoint = 0;   // meaningful only when valid
    std::size_t length = 1;   // bytes taken; for an invalid one its maximal subpart, at least 1
    bool valid = false;
};

// The sequence that starts at text[at] (at < text.size()). An invalid one is
// as long as its maximal subpart, so that each gives exactly one substitute:
// no overlong forms, no surrogates, nothing beyond U+10FFFF.
constexpr TUtf8Sequence NextUtf8(std::string_view text, std::size_t at) {
    constexpr unsigned char kContinuationLow = 0x80, kContinuationHigh = 0xBF, kContinuationBits = 0x3F;
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < kContinuationLow) return {lead, 1, true};

    std::size_t continuations = 0;
    unsigned char secondLow = kContinuationLow, secondHigh = kContinuationHigh;
    char32_t bits = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {  // C0 and C1 would be overlong
        continuations = 1;
        bits = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuations = 2;
        bits = lead & 0x0Fu;
        if (lead == 0xE0) secondLow = 0xA0;   // overlong below
        if (lead == 0xED) secondHigh = 0x9F;  // surrogates above
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        continuations = 3;
        bits = lead & 0x07u;
        if (lead == 0xF0) secondLow = 0x90;   // overlong below
        if (lead == 0xF4) secondHigh = 0x8F;  // beyond U+10FFFF above
    } else {
        return {};
    }

    std::size_t length = 1;
    for (std::size_t n = 0; n < continuations; ++n, ++length) {
        const std::size_t i = at + length;
        const unsigned char low = n == 0 ? secondLow : kContinuationLow;
        const unsigned char high = n == 0 ? secondHigh : kContinuationHigh;
        if (i >= text.size()) return {0, length, false};
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < low || byte > high) return {0, length, false};
        bits = (bits << 6) | (byte & kContinuationBits);
    }
    return {bits, length, true};
}

}  // namespace platform
