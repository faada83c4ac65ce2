// Small text helpers shared by the command's units.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace host {

inline char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string AsciiUpper(std::string text) {
    for (char& c : text) c = AsciiUpper(c);
    return text;
}

inline std::string AsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

inline bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// A text as printed: control characters (C0, DEL and C1) as \xHH, so that a
// name holding a tab or a line break still takes one line of its own.
// Appended to out, the plain runs between escapes in one piece each.
inline void AppendPrintable(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    constexpr unsigned char kSpace = 0x20, kDelete = 0x7F, kC1Lead = 0xC2, kC1First = 0x80, kC1Last = 0x9F;
    // Eight bytes at a time while none is below a space, DEL or a C1 lead.
    constexpr std::uint64_t kOnes = 0x0101010101010101, kHighBits = 0x8080808080808080;
    const auto plainWord = [&](std::size_t at) {
        std::uint64_t w = 0;
        std::memcpy(&w, text.data() + at, sizeof w);
        const auto holds = [&](unsigned char b) {
            const std::uint64_t x = w ^ (kOnes * b);
            return ((x - kOnes) & ~x & kHighBits) != 0;
        };
        return ((w - kOnes * kSpace) & ~w & kHighBits) == 0 && !holds(kDelete) && !holds(kC1Lead);
    };
    std::size_t plain = 0;  // where the run not yet appended starts
    for (std::size_t i = 0; i < text.size(); ++i) {
        while (i + sizeof(std::uint64_t) <= text.size() && plainWord(i)) i += sizeof(std::uint64_t);
        if (i == text.size()) break;
        const auto u = static_cast<unsigned char>(text[i]);
        if (u >= kSpace && u != kDelete && u != kC1Lead) continue;
        const bool c1 = u == kC1Lead && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= kC1First &&
                        static_cast<unsigned char>(text[i + 1]) <= kC1Last;
        if (u == kC1Lead && !c1) continue;
        out.append(text, plain, i - plain);
        const unsigned code = c1 ? static_cast<unsigned char>(text[++i]) : u;
        out += "\\x";
        out += kHex[code >> 4];
        out += kHex[code & 0xF];
        plain = i + 1;
    }
    out.append(text, plain, text.size() - plain);
}

inline std::string Printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    AppendPrintable(out, text);
    return out;
}

inline bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace host
