// Small text helpers shared by the command's units.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace host {

inline char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string AsciiUpper(std::string text) {
    for (char& c : text) c = AsciiUpper(c);
    return text;
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

// C0, DEL and C1: what the console and JSON show escaped, so that a name holding
// a tab or a line break still takes one line of its own.
inline bool IsControl(char32_t c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F); }

// Tables of text keys looked up by a part of a longer text without making a
// string of it first: the plan looks up each file's folder in several.
struct TTextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view> {}(text); }
};
template <class T>
using TTextMap = std::unordered_map<std::string, T, TTextHash, std::equal_to<>>;

}  // namespace host
