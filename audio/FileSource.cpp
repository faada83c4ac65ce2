// Cached reads over one open file.
#include "FileSource.h"

#include <algorithm>
#include <cstring>

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

bool TFileSource::Load(Window& window, std::span<std::uint8_t> room, std::int64_t start, std::size_t count) {
    window.start = -1;
    window.size = 0;
    std::uint8_t* bytes = room.data();
    if (count > room.size()) {
        if (window.heapCapacity < count) {
            window.heap.reset(new std::uint8_t[count]);  // left uninitialised: the read fills what is served
            window.heapCapacity = count;
        }
        bytes = window.heap.get();
    }
    window.bytes = bytes;
    std::size_t got = 0;
    if (!file_.ReadAt(start, bytes, count, got)) return false;
    window.size = got;
    window.start = start;
    return true;
}

bool TFileSource::Serve(const Window& window, std::int64_t offset, std::span<std::uint8_t> out,
                        std::size_t& got) const {
    if (window.start < 0 || offset < window.start) return false;
    const auto skip = static_cast<std::uint64_t>(offset - window.start);
    if (skip > window.size) return false;
    const std::size_t available = window.size - static_cast<std::size_t>(skip);
    std::size_t count = out.size();
    if (count > available) {
        // Only a window that ends where the file ends knows that nothing follows.
        if (size_ < 0 || window.start + static_cast<std::int64_t>(window.size) != size_) return false;
        count = available;
    }
    std::memcpy(out.data(), window.bytes + skip, count);
    got = count;
    return true;
}

bool TFileSource::ReadAt(std::int64_t offset, std::span<std::uint8_t> out, std::size_t& got) {
    got = 0;
    // A frame walk makes a small read or two per frame, nearly all of them
    // inside the head window: those take the shortest road. (The windows are
    // empty while no file is open.)
    if (head_.start >= 0 && offset >= head_.start) {
        const auto skip = static_cast<std::uint64_t>(offset - head_.start);
        if (skip <= head_.size && out.size() <= head_.size - skip) {
            if (!out.empty()) std::memcpy(out.data(), head_.bytes + skip, out.size());
            got = out.size();
            return true;
        }
    }
    if (!file_.IsOpen() || offset < 0) return false;
    if (out.empty()) return true;
    if (Serve(head_, offset, out, got) || Serve(tail_, offset, out, got)) return true;
    if (size_ >= 0 && offset < size_) {
        const auto rest = static_cast<std::uint64_t>(size_ - offset);
        if (rest <= tailSize_ && out.size() <= tailSize_) {
            const std::int64_t start = std::max<std::int64_t>(0, size_ - static_cast<std::int64_t>(tailSize_));
            if (!Load(tail_, tailRoom_, start, static_cast<std::size_t>(size_ - start))) return false;
            if (Serve(tail_, offset, out, got)) return true;
        } else if (out.size() <= kWindowSize) {
            // A small first window suits the common small tag; a tag that
            // outgrows it is walked on in larger steps.
            const std::size_t length = std::max(headLoaded_ ? kWindowSize : kFirstWindowSize, out.size());
            headLoaded_ = true;
            if (!Load(head_, headRoom_, offset, static_cast<std::size_t>(std::min<std::uint64_t>(length, rest)))) {
                return false;
            }
            if (Serve(head_, offset, out, got)) return true;
        }
    }
    return file_.ReadAt(offset, out.data(), out.size(), got);
}

void TFileSource::Close() {
    file_.Close();
    size_ = -1;
    head_ = Window{};
    tail_ = Window{};
    headLoaded_ = false;
}
