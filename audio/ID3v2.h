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
constexpr std::uint8_t kFlagUnsynchronisation = 0x80;
// The second flags byte of a 2.4 frame header.
constexpr std::uint8_t kFrameFlagDataLength = 0x01;  // four bytes of data length before the data
constexpr std::uint8_t kFrameFlagUnsynchronised = 0x02;

// Which frame lands in which slot (slot n at index n - 1).
extern const std::array<std::string_view, kSlotCount> FrameIdsV23;
extern const std::array<std::string_view, kSlotCountV22> FrameIdsV22;

}  // namespace id3v2

class TID3v2 {
public:
    TID3v2();

    void Clear();
    // True when the file's first 10 bytes could be read, tag or not.
    bool ReadTag(const char* path);
    bool ReadTag(TByteSource& source);
    // Where the audio begins: after this tag and those that follow it.
    std::int64_t AudioStart() const { return TagSize + FurtherTagsSize; }

    // A setting, kept by Clear: off, the picture frame's data is never read
    // and Picture stays empty, which spares a reader that only wants the
    // texts up to 64 KB of reading per file.
    bool CollectPicture = true;

    bool HasTag;
    std::uint8_t Version;
    std::int32_t TagSize;  // header and footer included; 0 without a tag or beyond the file
    // The bytes of the whole ID3v2 tags that directly follow this one (files
    // tagged twice or more); 0 when none does.
    std::int64_t FurtherTagsSize;
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
