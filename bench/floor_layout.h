// What both system-call floors read, and the one thing they parse: where the
// ID3v2 tag says the audio starts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace floor_layout {

constexpr std::size_t kHeaderSize = 10;
constexpr std::size_t kTrailerSize = 128;
constexpr std::size_t kBlockSize = 3458;
constexpr std::size_t kSizeBytesAt = 6;
constexpr unsigned kSizeBitsPerByte = 7;

inline std::int64_t TagEnd(const std::array<std::uint8_t, kHeaderSize>& header) {
    if (std::memcmp(header.data(), "ID3", 3) != 0) return 0;
    std::int64_t size = 0;
    for (std::size_t i = kSizeBytesAt; i < kHeaderSize; ++i) size = (size << kSizeBitsPerByte) | header[i];
    return size + static_cast<std::int64_t>(kHeaderSize);
}

}  // namespace floor_layout
