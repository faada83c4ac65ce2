// What both system-call floors read, and the one thing they parse: where the
// ID3v2 tag says the audio starts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "contender.h"

#include "ID3v1.h"
#include "ID3v2.h"
#include "MPEGaudio.h"

namespace floor_layout {

constexpr std::size_t kHeaderSize = id3v2::kHeaderSize;
constexpr std::size_t kTrailerSize = kID3v1TagSize;
constexpr std::size_t kBlockSize = mpeg::kBlockSize;
constexpr std::size_t kSizeBytesAt = 6;
constexpr unsigned kSizeBitsPerByte = 7;

inline std::int64_t TagEnd(const std::array<std::uint8_t, kHeaderSize>& header) {
    if (std::memcmp(header.data(), "ID3", 3) != 0) return 0;
    std::int64_t size = 0;
    for (std::size_t i = kSizeBytesAt; i < kHeaderSize; ++i) size = (size << kSizeBitsPerByte) | header[i];
    return size + static_cast<std::int64_t>(kHeaderSize);
}

// What a floor made of one file, the same on both systems.
inline void Record(TOutcome& outcome, std::int64_t audio, std::int64_t size,
                   const std::array<std::uint8_t, kTrailerSize>& trailer,
                   const std::array<std::uint8_t, kBlockSize>& block, bool wantText) {
    outcome.hit = audio > 0;
    outcome.hash = FoldHash(outcome.hash, static_cast<std::uint64_t>(audio));
    outcome.hash = FoldHash(outcome.hash, std::string_view(reinterpret_cast<const char*>(trailer.data()), 3));
    outcome.hash = FoldHash(outcome.hash, std::string_view(reinterpret_cast<const char*>(block.data()), 4));
    if (wantText) outcome.text = "audio at " + std::to_string(audio) + " of " + std::to_string(size);
}

}  // namespace floor_layout
