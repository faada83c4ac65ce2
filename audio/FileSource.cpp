// Cached reads over one open file.
#include "FileSource.h"

#include <algorithm>
#include <cstring>

bool TFileSource::Window::Holds(std::int64_t offset, std::size_t count) const {
    return start >= 0 && offset >= start &&
           static_cast<std::uint64_t>(offset - start) + count <= static_cast<std::uint64_t>(bytes.size());
}

bool TFileSource::Open(const char* path) {
    Close();
    if (!file_.Open(path)) return false;
    std::int64_t size = 0;
    if (file_.Size(size)) size_ = size;
    return true;
}

bool TFileSource::Size(std::int64_t& size) {
    if (!file_.IsOpen() || size_ < 0) return false;
    size = size_;
    return true;
}

bool TFileSource::Load(Window& window, std::int64_t start, std::size_t count) {
    window.start = -1;
    window.bytes.resize(count);
    std::size_t got = 0;
    if (!file_.ReadAt(start, window.bytes.data(), count, got)) {
        window.bytes.clear();
        return false;
    }
    window.bytes.resize(got);
    window.start = start;
    return true;
}

bool TFileSource::ReadAt(std::int64_t offset, std::span<std::uint8_t> out, std::size_t& got) {
    got = 0;
    if (!file_.IsOpen() || offset < 0) return false;
    const std::size_t count = out.size();
    if (count == 0) return true;
    // What lies beyond the end of the file is never in a window: ask the file.
    const bool pastEnd = size_ < 0 || offset >= size_ || static_cast<std::uint64_t>(size_ - offset) < count;
    Window* window = nullptr;
    if (!pastEnd) {
        if (head_.Holds(offset, count)) {
            window = &head_;
        } else if (tail_.Holds(offset, count)) {
            window = &tail_;
        } else if (count <= kTailSize && size_ - offset <= static_cast<std::int64_t>(kTailSize)) {
            const std::int64_t start = std::max<std::int64_t>(0, size_ - static_cast<std::int64_t>(kTailSize));
            if (!Load(tail_, start, static_cast<std::size_t>(size_ - start))) return false;
            window = tail_.Holds(offset, count) ? &tail_ : nullptr;
        } else if (count <= kWindowSize) {
            const auto rest = static_cast<std::size_t>(std::min<std::int64_t>(size_ - offset, kWindowSize));
            if (!Load(head_, offset, rest)) return false;
            window = head_.Holds(offset, count) ? &head_ : nullptr;
        }
    }
    if (window != nullptr) {
        std::memcpy(out.data(), window->bytes.data() + (offset - window->start), count);
        got = count;
        return true;
    }
    return file_.ReadAt(offset, out.data(), count, got);
}

void TFileSource::Close() {
    file_.Close();
    size_ = -1;
    head_ = Window{};
    tail_ = Window{};
}
