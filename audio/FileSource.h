// Random access to the bytes of one file for the readers and the analyser.
// TFileSource opens the file once and serves reads from two small windows (the
// start of the file and its end), so a whole analysis costs a handful of system
// calls however many frames the tag holds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform.h"

class TByteSource {
public:
    virtual ~TByteSource() = default;
    // False when the size cannot be taken.
    virtual bool Size(std::int64_t& size) = 0;
    // Reads up to out.size() bytes at offset; got is smaller only at the end of
    // the file. False on a failed seek or read (a negative offset is a failed seek).
    virtual bool ReadAt(std::int64_t offset, std::span<std::uint8_t> out, std::size_t& got) = 0;
};

class TFileSource final : public TByteSource {
public:
    // The first read of the start of a file: the tag header, the frames of a
    // tag without a picture, and usually the first audio block after it.
    // Larger first reads cost more in copying than the rare second read saves.
    static constexpr std::size_t kFirstWindowSize = 8 * 1024;
    // Every later window, for tags that hold more than the first one did.
    static constexpr std::size_t kWindowSize = 16 * 1024;
    // The end of the file: the ID3v1 tag and the tail block before it.
    static constexpr std::size_t kTailSize = 4 * 1024;

    // tailSize: how much of the end a read there loads at once; a reader that
    // wants only the ID3v1 tag loads no more than that.
    explicit TFileSource(std::size_t tailSize = kTailSize) : tailSize_(tailSize) {}

    // Opens an existing file read-only, shared for reading and writing.
    bool Open(const char* path);
    bool Size(std::int64_t& size) override;
    bool ReadAt(std::int64_t offset, std::span<std::uint8_t> out, std::size_t& got) override;
    void Close();

private:
    struct Window {
        // Never zero-filled: only the bytes the file delivered are ever served.
        const std::uint8_t* bytes = nullptr;  // in the window's room or on the heap
        std::size_t size = 0;
        std::int64_t start = -1;
        std::unique_ptr<std::uint8_t[]> heap;  // for loads larger than the room
        std::size_t heapCapacity = 0;
    };
    // room: the window's own, inside the source, used when count fits.
    bool Load(Window& window, std::span<std::uint8_t> room, std::int64_t start, std::size_t count);
    // Copies the bytes at offset when the window holds them all, or all up to
    // the end of the file; false when the file must be asked.
    bool Serve(const Window& window, std::int64_t offset, std::span<std::uint8_t> out, std::size_t& got) const;

    platform::ReadOnlyFile file_;
    std::size_t tailSize_;
    std::int64_t size_ = -1;
    Window head_;
    Window tail_;
    bool headLoaded_ = false;  // since Open: later head windows take larger steps
    // The common small tag and the end of the file need no allocation.
    std::array<std::uint8_t, kFirstWindowSize> headRoom_;
    std::array<std::uint8_t, kTailSize> tailRoom_;
};

// The path form of a reader's read: opens the file once, hands it to read, and
// leaves the reader cleared (false) when the file cannot be opened. An
// exhausted heap is caught once, at the exports; the file is closed either way.
template <class Reader, class Read>
bool ReadFromPath(Reader& reader, const char* path, Read read, std::size_t tailSize = TFileSource::kTailSize) {
    TFileSource source(tailSize);  // closes the file on every path
    if (path != nullptr && source.Open(path)) return read(reader, source);
    reader.Clear();
    return false;
}
