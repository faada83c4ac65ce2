// Shared pieces of the fuzz targets: the input bytes as a TByteSource that can
// fail or read short at one call, and the choice of that call from the input.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#include "FileSource.h"

namespace fuzzing {

// The fuzz input as a file. Calls of ReadAt are counted from 1; call failAt
// fails and call shortAt delivers one byte less than it could. A failed Size
// stands for a file whose size the system cannot tell.
class MemorySource final : public TByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool Size(std::int64_t& size) override {
        if (failSize) return false;
        size = static_cast<std::int64_t>(bytes_.size());
        return true;
    }

    bool ReadAt(std::int64_t offset, std::span<std::uint8_t> out, std::size_t& got) override {
        got = 0;
        ++calls;
        if (calls == failAt || offset < 0) return false;
        if (static_cast<std::uint64_t>(offset) >= bytes_.size()) return true;
        got = std::min(out.size(), bytes_.size() - static_cast<std::size_t>(offset));
        if (calls == shortAt && got > 0) --got;
        if (got > 0) std::memcpy(out.data(), bytes_.data() + offset, got);
        return true;
    }

    std::size_t calls = 0;
    std::size_t failAt = 0;
    std::size_t shortAt = 0;
    bool failSize = false;

private:
    std::span<const std::uint8_t> bytes_;
};

// A number that follows from the input alone, so that a finding replays.
inline std::uint32_t InputHash(std::span<const std::uint8_t> bytes) {
    constexpr std::uint32_t kOffsetBasis = 2166136261u;
    constexpr std::uint32_t kPrime = 16777619u;
    constexpr std::size_t kHashedPrefix = 64;
    std::uint32_t hash = kOffsetBasis ^ static_cast<std::uint32_t>(bytes.size());
    for (std::uint8_t b : bytes.first(std::min(bytes.size(), kHashedPrefix))) hash = (hash ^ b) * kPrime;
    return hash;
}

// Runs read(source) once cleanly and then once with a fault at a call that the
// clean run made: a failure, a short read, or a size that cannot be taken.
template <typename Read>
void WithFaults(std::span<const std::uint8_t> bytes, Read read) {
    MemorySource clean(bytes);
    read(clean);
    if (clean.calls == 0) return;
    const std::uint32_t hash = InputHash(bytes);
    MemorySource faulty(bytes);
    const std::size_t call = 1 + hash % clean.calls;
    switch ((hash >> 16) % 3) {
        case 0: faulty.failAt = call; break;
        case 1: faulty.shortAt = call; break;
        default: faulty.failSize = true; break;
    }
    read(faulty);
}

// Aborts on a broken promise, so that libFuzzer records the input.
#define FUZZ_CHECK(condition)                                                          \
    do {                                                                               \
        if (!(condition)) {                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                              \
        }                                                                              \
    } while (false)

}  // namespace fuzzing
