// The ID3v2 reader (versions 2.2, 2.3 and 2.4): the tag header, the frame walk,
// and the texts of the frames the name builder and its neighbours use.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TByteSource;

extern const std::array<std::string_view, 3> ID3v2VersionNames;

// The picture of an APIC frame, kept as the bytes after its 13-byte prefix.
// Nothing reads it; it is held so the reader's results stay complete.
struct TJPEGImage {
    std::vector<std::uint8_t> Data;  // the frame's bytes from offset 13 on
    std::size_t Size = 0;            // the length the block would give, zeros included
};

namespace id3v2 {

constexpr std::size_t kHeaderSize = 10;
constexpr std::size_t kFooterSize = 10;
constexpr std::size_t kBlockLengthV23 = 65535;
constexpr std::size_t kBlockLengthV22 = 500;
constexpr std::size_t kSlotCount = 18;
constexpr std::size_t kSlotCountV22 = 16;
constexpr std::size_t kPicturePrefix = 13;  // picture bytes skipped before the image data

constexpr std::uint8_t kFlagFooter = 0x10;
constexpr std::uint8_t kFlagExtendedHeader = 0x40;

// The text encoding byte that starts a frame's data.
enum TextEncoding : std::uint8_t {
    kLatin1 = 0,   // 8-bit, used as stored
    kUtf16 = 1,    // 16-bit, byte order from a leading mark, else little-endian
    kUtf16BE = 2,  // 16-bit, byte order from a leading mark, else big-endian
    kUtf8 = 3,
};

// The data collected for one frame: its first data bytes, followed (virtually)
// by zeros up to the block length. Nothing else of the block is stored.
struct Slot {
    std::vector<std::uint8_t> data;
    std::size_t length = 0;  // the virtual block length; 0 for an empty slot

    bool Empty() const { return length == 0; }
    std::uint8_t At(std::size_t i) const { return i < data.size() ? data[i] : 0; }
};

// Which frame lands in which slot (slot n at index n - 1).
extern const std::array<std::string_view, kSlotCount> FrameIdsV23;
extern const std::array<std::string_view, kSlotCountV22> FrameIdsV22;

// What one read knows about a tag: the header bytes in file order, the file's
// size and the collected frames.
struct TagInfo {
    std::array<std::uint8_t, 3> Marker{};
    std::uint8_t Version = 0;
    std::uint8_t Revision = 0;
    std::uint8_t Flags = 0;
    std::array<std::uint8_t, 4> SizeBytes{};
    std::int64_t FileSize = 0;
    std::array<Slot, kSlotCount> FrameTexts{};
};

// The header and the file size; false when the first 10 bytes or the size
// cannot be had.
bool ReadHeader(TByteSource& source, TagInfo& info);
// Header, frames and footer in bytes; 0 when that exceeds the file.
std::int32_t TotalTagSize(const TagInfo& info);
// Where the first frame header stands, past an extended header; none when
// that header's size cannot be read.
std::optional<std::int64_t> FrameWalkStart(TByteSource& source, const TagInfo& info);
// A 2.4 frame's data size: syncsafe as the format says, or plain as some
// writers store it, whichever lands on a frame boundary; none when a read fails.
std::optional<std::uint32_t> FrameSizeV24(TByteSource& source, std::span<const std::uint8_t, 4> sizeBytes,
                                          std::int64_t dataStart, std::int32_t tagSize, std::int64_t fileSize);
// The frame walks of the 10-byte (2.3, 2.4) and the 6-byte (2.2) frame header.
void ReadFramesV23(TByteSource& source, TagInfo& info, std::int32_t tagSize);
void ReadFramesV22(TByteSource& source, TagInfo& info, std::int32_t tagSize);
// Keeps a frame's block in the slot of its id when its encoding is known.
void StoreFrame(TagInfo& info, std::string_view id, const Slot& block);

// Decoding helpers, exposed for tests.
std::string DecodeText(const Slot& slot);
std::string TextOrFallback(const Slot& primary, const Slot& secondary);
std::string YearOrDate(const Slot& year, const Slot& date);
std::uint16_t TrackFromText(const Slot& slot);
std::string GenreFromText(const Slot& slot);
std::string TextAfterDescription(const Slot& slot, bool withLanguage);
std::int32_t ParseTrackNumber(std::string_view text);
std::unique_ptr<TJPEGImage> PictureFromFrame(Slot&& slot);

}  // namespace id3v2

class TID3v2 {
public:
    TID3v2();

    void Clear();
    // True when the file's first 10 bytes could be read, tag or not.
    bool ReadTag(const char* path);
    bool ReadTag(TByteSource& source);

    bool HasTag;
    std::uint8_t Version;
    std::int32_t TagSize;  // header and footer included; 0 without a tag or beyond the file
    std::string Title;
    std::string Artist;
    std::string Album;
    std::uint16_t Track;
    std::string Year;
    std::string Genre;
    std::string Comment;
    std::string Composer;
    std::string Encoder;
    std::string Copyright;
    std::string Language;
    std::string Link;
    std::string OriginalArtist;
    std::string Lyrics;
    std::unique_ptr<TJPEGImage> Picture;
};
