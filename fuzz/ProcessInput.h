// The input of the process fuzz target. An input that begins with the magic
// "PLMR" carries the options and the old path before the file:
//   "PLMR", tag source (one signed byte), pattern length (255: all 256 bytes,
//   no NUL), pattern, old path length, old path, then the file's bytes.
// Any other input is a file alone, processed with every placeholder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "PelmoraConstants.h"
#include "PluginRecords.h"

namespace fuzzing {

constexpr char kProcessMagic[] = {'P', 'L', 'M', 'R'};
constexpr std::uint8_t kFullPattern = 255;

// Every placeholder once, separated by spaces.
inline std::string EveryPlaceholder() {
    std::string pattern;
    for (std::string_view placeholder : pelmora::kPlaceholders) pattern.append(pattern.empty() ? "" : " ").append(placeholder);
    return pattern;
}

struct ProcessInput {
    PluginOptions options{};
    std::string oldPath;  // empty: a file next to the analysed one
    std::span<const std::uint8_t> file;
};

inline ProcessInput ParseProcessInput(std::span<const std::uint8_t> data) {
    ProcessInput input;
    if (data.size() < sizeof kProcessMagic || std::memcmp(data.data(), kProcessMagic, sizeof kProcessMagic) != 0) {
        static const std::string everyPlaceholder = EveryPlaceholder();
        std::memcpy(input.options.pattern, everyPlaceholder.data(), everyPlaceholder.size());
        input.options.tagSource = static_cast<std::int32_t>(data.size() % 3);  // ID3v2, ID3v1, neither
        input.file = data;
        return input;
    }
    std::size_t at = sizeof kProcessMagic;
    auto next = [&]() -> std::uint8_t { return at < data.size() ? data[at++] : 0; };
    auto take = [&](std::size_t count) {
        const std::span<const std::uint8_t> part = data.subspan(at, std::min(count, data.size() - at));
        at += part.size();
        return part;
    };
    input.options.tagSource = static_cast<std::int8_t>(next());
    const std::uint8_t patternLength = next();
    const auto pattern = take(patternLength == kFullPattern ? sizeof input.options.pattern : patternLength);
    std::memcpy(input.options.pattern, pattern.data(), pattern.size());
    const auto path = take(next());
    input.oldPath.assign(path.begin(), path.end());
    input.file = data.subspan(at);
    return input;
}

inline std::vector<std::uint8_t> MakeProcessInput(std::int8_t tagSource, const std::string& pattern,
                                                  const std::string& oldPath, std::span<const std::uint8_t> file) {
    std::vector<std::uint8_t> data(std::begin(kProcessMagic), std::end(kProcessMagic));
    data.push_back(static_cast<std::uint8_t>(tagSource));
    const std::size_t patternLength = std::min<std::size_t>(pattern.size(), sizeof PluginOptions{}.pattern);
    data.push_back(patternLength == sizeof PluginOptions{}.pattern ? kFullPattern
                                                                   : static_cast<std::uint8_t>(patternLength));
    data.insert(data.end(), pattern.begin(), pattern.begin() + static_cast<std::ptrdiff_t>(patternLength));
    const std::size_t pathLength = std::min<std::size_t>(oldPath.size(), UINT8_MAX);
    data.push_back(static_cast<std::uint8_t>(pathLength));
    data.insert(data.end(), oldPath.begin(), oldPath.begin() + static_cast<std::ptrdiff_t>(pathLength));
    data.insert(data.end(), file.begin(), file.end());
    return data;
}

}  // namespace fuzzing
