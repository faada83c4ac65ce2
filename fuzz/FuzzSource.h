// Shared pieces of the fuzz targets: the tests' fault-injecting source over the
// input bytes, and the choice of its fault from the input.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#include "FaultySource.h"

namespace fuzzing {

using testing_support::FaultySource;

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
    FaultySource clean(bytes);
    read(clean);
    if (clean.calls == 0) return;
    const std::uint32_t hash = InputHash(bytes);
    FaultySource faulty(bytes);
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
