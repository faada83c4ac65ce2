// Bounds-safe reads of big-endian numbers and signatures over a byte span.
// Every byte past the end reads as zero, so a truncated header can never lead
// a parser outside its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

class TByteReader {
public:
    static constexpr unsigned kBitsPerByte = 8;
    static constexpr unsigned kSyncsafeBits = 7;

    constexpr explicit TByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    constexpr std::size_t Size() const { return bytes_.size(); }

    constexpr std::uint8_t At(std::size_t offset) const { return offset < bytes_.size() ? bytes_[offset] : 0; }

    // width bytes at offset, most significant first; width at most 8.
    constexpr std::uint64_t BigEndian(std::size_t offset, std::size_t width) const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) value = (value << kBitsPerByte) | At(Offset(offset, i));
        return value;
    }

    // Seven bits apart, most significant first; a byte above 127 is taken
    // whole (its top bit is not cut off), as tag sizes are read.
    constexpr std::uint64_t SyncsafeWhole(std::size_t offset, std::size_t width) const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) value = (value << kSyncsafeBits) + At(Offset(offset, i));
        return value;
    }

    // The bytes at offset are exactly those of text (case-sensitive).
    constexpr bool Matches(std::size_t offset, std::string_view text) const {
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (At(Offset(offset, i)) != static_cast<std::uint8_t>(text[i]) || Offset(offset, i) >= bytes_.size()) {
                return false;
            }
        }
        return true;
    }

private:
    // offset + i, or past the end when the sum would overflow.
    static constexpr std::size_t Offset(std::size_t offset, std::size_t i) {
        return i <= SIZE_MAX - offset ? offset + i : SIZE_MAX;
    }

    std::span<const std::uint8_t> bytes_;
};
