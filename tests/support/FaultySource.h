// Bytes in memory as a file that misbehaves on request, for the tests and the
// fuzz targets alike. Calls of ReadAt are counted from 1: the call numbered
// failAt fails, the call numbered shortAt delivers a byte less than it could,
// and reads past cutAt find nothing (a file that shrank after its size was
// taken). Size fails always with failSize, or only at its call sizeFailAt.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "FileSource.h"

namespace testing_support {

class FaultySource final : public TByteSource {
public:
    explicit FaultySource(std::span<const std::uint8_t> bytes) : bytes_(bytes.begin(), bytes.end()) {}

    bool Size(std::int64_t& size) override {
        ++sizeCalls;
        if (failSize || sizeCalls == sizeFailAt) return false;
        size = static_cast<std::int64_t>(bytes_.size());
        return true;
    }

    bool ReadAt(std::int64_t offset, std::span<std::uint8_t> out, std::size_t& got) override {
        got = 0;
        ++calls;
        bytesRequested += out.size();
        if (calls == failAt || offset < 0) return false;
        const std::size_t end = std::min(bytes_.size(), cutAt);
        if (static_cast<std::uint64_t>(offset) >= end) return true;
        got = std::min(out.size(), end - static_cast<std::size_t>(offset));
        if (calls == shortAt && got > 0) --got;
        if (got > 0) std::memcpy(out.data(), bytes_.data() + offset, got);
        return true;
    }

    std::size_t failAt = 0;
    std::size_t shortAt = 0;
    std::size_t cutAt = SIZE_MAX;
    bool failSize = false;
    std::size_t sizeFailAt = 0;

    std::size_t calls = 0;
    std::size_t sizeCalls = 0;
    std::uint64_t bytesRequested = 0;

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace testing_support
