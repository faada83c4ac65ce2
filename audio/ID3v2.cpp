// The ID3v2 reader: header, frame walk and text decoding.
#include "ID3v2.h"

#include <algorithm>
#include <cstring>

#include "ByteReader.h"
#include "FileSource.h"
#include "Utf8.h"
#include "platform.h"

const std::array<std::string_view, 3> ID3v2VersionNames{"ID3v2.2", "ID3v2.3", "ID3v2.4"};

namespace id3v2 {

namespace {

constexpr std::array<std::string_view, kSlotCount> kFrameIdsV23{"TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON",
                                                                "COMM", "TCOM", "TENC", "TCOP", "TLAN", "WXXX",
                                                                "TDRC", "TOPE", "TIT1", "TOAL", "USLT", "APIC"};
constexpr std::array<std::string_view, kSlotCountV22> kFrameIdsV22{
    "TT2", "TP1", "TAL", "TRK", "TYE", "TCO", "COM", "TCM", "TEN", "TCR", "TLA", "WXX", "TOR", "TOA", "TT1", "TOT"};

}  // namespace

const std::array<std::string_view, kSlotCount> FrameIdsV23 = kFrameIdsV23;
const std::array<std::string_view, kSlotCountV22> FrameIdsV22 = kFrameIdsV22;

namespace {

// The text encoding byte that starts a frame's data.
enum TextEncoding : std::uint8_t {
    kLatin1 = 0,   // 8-bit, used as stored
    kUtf16 = 1,    // 16-bit, byte order from a leading mark, else little-endian
    kUtf16BE = 2,  // 16-bit, byte order from a leading mark, else big-endian
    kUtf8 = 3,
};

// The data collected for one frame: its first bytes as read, standing for a
// block of `length` bytes whose rest is zeros (the zeros are never stored).
struct Slot {
    std::vector<std::uint8_t> bytes;
    std::size_t length = 0;  // the block length; 0 for an empty slot

    bool Empty() const { return length == 0; }
    std::uint8_t At(std::size_t i) const { return i < bytes.size() ? bytes[i] : 0; }
};

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

class TTagBytes;
std::optional<std::int64_t> FrameWalkStart(TTagBytes& bytes, const TagInfo& info);
std::optional<std::uint32_t> FrameSizeV24(TByteSource& source, std::span<const std::uint8_t, 4> sizeBytes,
                                          std::int64_t dataStart, std::int32_t tagSize, std::int64_t fileSize);

constexpr std::string_view kMarker = "ID3";
constexpr std::size_t kVersionOffset = 3;
constexpr std::size_t kRevisionOffset = 4;
constexpr std::size_t kFlagsOffset = 5;
constexpr std::size_t kSizeOffset = 6;
constexpr std::uint8_t kVersion22 = 2;
constexpr std::uint8_t kVersion23 = 3;
constexpr std::uint8_t kVersion24 = 4;
constexpr std::uint8_t kHighestEncoding = kUtf8;  // 2.4 writers use UTF-16BE and UTF-8 widely
constexpr std::uint8_t kTrimLimit = 32;           // bytes up to a space are trimmed
constexpr std::uint16_t kByteOrderMark = 0xFEFF;
constexpr std::uint16_t kSwappedByteOrderMark = 0xFFFE;
constexpr std::uint8_t kSyncsafeLimit = 0x80;  // syncsafe bytes keep their top bit clear
constexpr std::uint32_t kLargestUnit = 0xFFFF;
constexpr std::size_t kSizeFieldWidth = 4;
constexpr std::size_t kYearLength = 4;
constexpr std::size_t kLanguageLength = 3;
constexpr std::uint8_t kSyncByte = 0xFF;  // unsynchronisation puts a zero after each
constexpr std::size_t kFrameFlagsOffset = 9;  // the second flags byte of a 2.3 and 2.4 frame header
constexpr std::size_t kDataLengthSize = 4;
constexpr std::uint8_t kLastRevision = 0xFF;  // never a revision of a real tag
constexpr unsigned kBitsPerByte = TByteReader::kBitsPerByte;

// Slots by the field they feed (slot n at index n - 1).
enum SlotIndex : std::size_t {
    kTitleSlot,
    kArtistSlot,
    kAlbumSlot,
    kTrackSlot,
    kYearSlot,
    kGenreSlot,
    kCommentSlot,
    kComposerSlot,
    kEncoderSlot,
    kCopyrightSlot,
    kLanguageSlot,
    kLinkSlot,
    kDateSlot,
    kOriginalArtistSlot,
    kGroupSlot,
    kOriginalAlbumSlot,
    kLyricsSlot,
    kPictureSlot,
};

struct FrameLayout {
    std::size_t headerSize;
    std::size_t idLength;
    std::size_t sizeOffset;
    std::size_t sizeWidth;
    std::size_t blockLength;
};

constexpr std::size_t kIdLengthV23 = 4;
constexpr std::size_t kIdLengthV22 = 3;
constexpr FrameLayout kLayoutV23{
    .headerSize = 10, .idLength = kIdLengthV23, .sizeOffset = 4, .sizeWidth = 4, .blockLength = kBlockLengthV23};
constexpr FrameLayout kLayoutV22{
    .headerSize = 6, .idLength = kIdLengthV22, .sizeOffset = 3, .sizeWidth = 3, .blockLength = kBlockLengthV22};
constexpr std::size_t kLargestFrameHeader = kLayoutV23.headerSize;

std::uint64_t BigEndian(std::span<const std::uint8_t> bytes) { return TByteReader(bytes).BigEndian(0, bytes.size()); }

// Seven bits apart; a byte above 127 is taken whole, as the tag size is.
std::uint64_t SyncsafeWhole(std::span<const std::uint8_t> bytes) {
    return TByteReader(bytes).SyncsafeWhole(0, bytes.size());
}

bool IsCapital(std::uint8_t b) { return b >= 'A' && b <= 'Z'; }
bool IsDigit(std::uint8_t b) { return b >= '0' && b <= '9'; }
bool IsIdCharacter(std::uint8_t b) { return IsCapital(b) || IsDigit(b); }

// What a frame walk reads from the end of the tag header on: the file as
// stored, or, for a 2.2 or 2.3 tag written with unsynchronisation, the tag's
// bytes with every FF 00 read as FF, followed by the rest of the file as
// stored. Those bytes are made in one pass as the walk moves forward, a chunk
// at a time, so a tag of any size costs a chunk of memory.
class TTagBytes {
public:
    TTagBytes(TByteSource& file, std::int64_t tagEnd, std::int64_t fileSize, bool resynchronise)
        : file_(file), tagEnd_(tagEnd), fileSize_(fileSize), resynchronise_(resynchronise) {}

    // The file as stored, for what lies outside the walk's bytes.
    TByteSource& File() { return file_; }

    // Like TByteSource::ReadAt, at offsets from the end of the tag header on.
    bool ReadAt(std::int64_t at, std::span<std::uint8_t> out, std::size_t& got) {
        got = 0;
        if (!resynchronise_) return file_.ReadAt(at, out, got);
        if (at < static_cast<std::int64_t>(kHeaderSize) || !Seek(at)) return false;
        if (virtual_ == at && !Advance(at + static_cast<std::int64_t>(out.size()), out.data(), got)) return false;
        if (got == out.size() || !Ended()) return true;
        // The rest lies after the tag, as stored.
        std::size_t more = 0;
        const std::int64_t after = tagEnd_ + (at + static_cast<std::int64_t>(got) - virtual_);
        if (!file_.ReadAt(after, out.subspan(got), more)) return false;
        got += more;
        return true;
    }

    // At or past the end of the tag or of the file; also when a read fails,
    // which ends the walk like any other failed read.
    bool Ends(std::int64_t at) {
        if (!resynchronise_) return at >= tagEnd_ || at >= fileSize_;
        if (at < virtual_) return false;
        return !Seek(at) || Ended();
    }

    // The file holds count bytes at at (false also when a read fails).
    bool Holds(std::int64_t at, std::uint64_t count) {
        const auto end = static_cast<std::uint64_t>(at) + count;
        if (!resynchronise_) return end <= static_cast<std::uint64_t>(fileSize_);
        if (end <= static_cast<std::uint64_t>(virtual_)) return true;
        if (!Seek(static_cast<std::int64_t>(end))) return false;
        if (!Ended()) return true;
        const std::int64_t removed = tagEnd_ - virtual_;
        return end <= static_cast<std::uint64_t>(fileSize_ - removed);
    }

private:
    static constexpr std::size_t kChunkSize = 16 * 1024;

    // Every byte of the tag read: the walk's bytes have ended at virtual_.
    bool Ended() const { return raw_ >= tagEnd_; }

    bool Seek(std::int64_t at) {
        if (at == virtual_) return true;
        if (at < virtual_) {
            virtual_ = raw_ = static_cast<std::int64_t>(kHeaderSize);
        }
        std::size_t unused = 0;
        return Advance(at, nullptr, unused);
    }

    // The chunk holds the byte at raw_.
    bool Load() {
        if (raw_ >= chunkStart_ && raw_ - chunkStart_ < static_cast<std::int64_t>(chunkSize_)) return true;
        chunk_.resize(kChunkSize);
        const auto count = static_cast<std::size_t>(std::min<std::int64_t>(tagEnd_ - raw_, kChunkSize));
        std::size_t got = 0;
        if (!file_.ReadAt(raw_, std::span(chunk_).first(count), got) || got == 0) return false;
        chunkStart_ = raw_;
        chunkSize_ = got;
        return true;
    }

    // Moves on to the walk's byte at `to`, or to the end of the tag, handing
    // the bytes passed to out when there is one. The zero after an FF is
    // passed with the FF, so that a byte of the walk's is left at raw_
    // whenever the tag has not ended.
    bool Advance(std::int64_t to, std::uint8_t* out, std::size_t& produced) {
        bool afterSync = false;
        while (!Ended() && (virtual_ < to || afterSync)) {
            if (!Load()) return false;
            const std::uint8_t* bytes = chunk_.data() + (raw_ - chunkStart_);
            const auto available = static_cast<std::size_t>(chunkStart_ + static_cast<std::int64_t>(chunkSize_) - raw_);
            std::size_t taken = 0;
            for (; taken < available; ++taken) {
                const std::uint8_t b = bytes[taken];
                if (afterSync && b == 0) {
                    afterSync = false;
                    continue;
                }
                if (virtual_ == to) break;
                if (out != nullptr) out[produced] = b;
                ++produced;
                ++virtual_;
                afterSync = b == kSyncByte;
            }
            raw_ += static_cast<std::int64_t>(taken);
            if (taken < available) break;
        }
        return true;
    }

    TByteSource& file_;
    std::int64_t tagEnd_;
    std::int64_t fileSize_;
    bool resynchronise_;
    // Where the walk's bytes stand: the next byte's offset as the walk sees
    // it and as stored.
    std::int64_t virtual_ = static_cast<std::int64_t>(kHeaderSize);
    std::int64_t raw_ = static_cast<std::int64_t>(kHeaderSize);
    std::vector<std::uint8_t> chunk_;  // stored bytes from chunkStart_ on
    std::int64_t chunkStart_ = 0;
    std::size_t chunkSize_ = 0;
};

// FF 00 read as FF, over one frame's data.
void Resynchronise(std::vector<std::uint8_t>& bytes) {
    std::size_t kept = 0;
    std::uint8_t previous = 0;
    for (const std::uint8_t b : bytes) {
        if (!(previous == kSyncByte && b == 0)) bytes[kept++] = b;
        previous = b;
    }
    bytes.resize(kept);
}

bool Trimmed(std::uint8_t b) { return b <= kTrimLimit; }

void TrimBoth(std::string& text) {
    std::size_t end = text.size();
    while (end > 0 && Trimmed(static_cast<std::uint8_t>(text[end - 1]))) --end;
    std::size_t begin = 0;
    while (begin < end && Trimmed(static_cast<std::uint8_t>(text[begin]))) ++begin;
    text.resize(end);
    text.erase(0, begin);
}

// A text as the decoders take it: the encoding byte, then the real bytes after
// it, followed (virtually) by zeros up to length bytes. A view, so a text cut
// out of a frame is decoded where it lies.
struct TextBytes {
    std::uint8_t encoding = 0;
    std::span<const std::uint8_t> body;
    std::size_t length = 0;

    std::uint8_t At(std::size_t i) const { return i < body.size() ? body[i] : 0; }
};

TextBytes TextOf(const Slot& slot) {
    const std::span<const std::uint8_t> real(slot.bytes);
    return {slot.At(0), real.subspan(std::min<std::size_t>(1, real.size())), slot.length > 0 ? slot.length - 1 : 0};
}

// The slot a frame of this id (Length bytes) lands in, or -1.
template <std::size_t Length, std::size_t N>
int IndexOf(const std::array<std::string_view, N>& ids, std::string_view id) {
    if (id.size() != Length) return -1;
    for (std::size_t i = 0; i < N; ++i) {
        if (std::memcmp(ids[i].data(), id.data(), Length) == 0) return static_cast<int>(i);
    }
    return -1;
}

int FrameSlotIndex(std::uint8_t version, std::string_view id) {
    return version > kVersion22 ? IndexOf<kIdLengthV23>(kFrameIdsV23, id) : IndexOf<kIdLengthV22>(kFrameIdsV22, id);
}

// Units past the collected bytes are zero and end the text. A leading mark
// sets the byte order; a mark anywhere else is dropped.
void DecodeUtf16(const TextBytes& bytes, bool bigEndian, std::string& text) {
    const std::size_t units = bytes.length / 2;
    std::size_t k = 0;
    if (units >= 1) {
        const auto leading = static_cast<std::uint16_t>(bytes.At(0) | bytes.At(1) << kBitsPerByte);
        if (leading == kByteOrderMark || leading == kSwappedByteOrderMark) {
            bigEndian = leading == kSwappedByteOrderMark;
            k = 1;
        }
    }
    text.reserve(std::min(units, bytes.body.size() / 2 + 1));
    // Converted a batch at a time: one call into the platform per batch, not per unit.
    constexpr std::size_t kBatch = 128;
    std::array<std::uint16_t, kBatch> batch;
    std::size_t waiting = 0;
    // Units from real bytes only; an odd last byte pairs with a zero.
    const std::size_t real = std::min(units, (bytes.body.size() + 1) / 2);
    const std::uint8_t* body = bytes.body.data();
    const unsigned highShift = bigEndian ? kBitsPerByte : 0, lowShift = bigEndian ? 0 : kBitsPerByte;
    for (; k < real; ++k) {
        const std::uint8_t a = body[2 * k];
        const std::uint8_t b = 2 * k + 1 < bytes.body.size() ? body[2 * k + 1] : 0;
        const auto unit = static_cast<std::uint16_t>(a << highShift | b << lowShift);
        if (unit == 0) break;
        if (unit == kByteOrderMark) continue;
        batch[waiting++] = unit;
        if (waiting == kBatch) {
            platform::AppendWideUnitsAnsi(text, batch.data(), waiting);
            waiting = 0;
        }
    }
    platform::AppendWideUnitsAnsi(text, batch.data(), waiting);
}

constexpr char kDefaultCharacter = '?';

// Up to the first zero byte; each maximal invalid subsequence and each
// character beyond 16 bits becomes one default character.
void DecodeUtf8(const TextBytes& text8, std::string& text) {
    std::string_view bytes(reinterpret_cast<const char*>(text8.body.data()), text8.body.size());
    bytes = bytes.substr(0, bytes.find('\0'));
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const platform::TUtf8Sequence sequence = platform::NextUtf8(bytes, i);
        if (sequence.valid && sequence.codePoint <= kLargestUnit) {
            platform::AppendWideUnitAnsi(text, static_cast<std::uint16_t>(sequence.codePoint));
        } else {
            text += kDefaultCharacter;
        }
        i += sequence.length;
    }
}

// None when a read fails, which ends the walk like any other failed read.
std::optional<bool> IsFrameBoundary(TByteSource& source, std::int64_t at, std::int32_t tagSize, std::int64_t fileSize) {
    if (at >= tagSize || at >= fileSize) return true;
    std::array<std::uint8_t, kSizeFieldWidth> bytes{};
    const auto available = static_cast<std::size_t>(std::min<std::int64_t>(fileSize - at, kSizeFieldWidth));
    std::size_t got = 0;
    if (!source.ReadAt(at, std::span(bytes).first(available), got) || got == 0) return std::nullopt;
    if (bytes[0] == 0) return true;
    return got == kSizeFieldWidth && std::all_of(bytes.begin(), bytes.end(), IsIdCharacter);
}

// The frame just read takes its slot, unless its encoding byte is unknown.
void StoreFrame(TagInfo& info, int index, std::span<const std::uint8_t> data, std::size_t blockLength) {
    if (!data.empty() && data[0] > kHighestEncoding) return;
    Slot& slot = info.FrameTexts[static_cast<std::size_t>(index)];
    slot.bytes.assign(data.begin(), data.end());
    slot.length = blockLength;
}

// A frame's data as its slot keeps it: its first bytes, at most a block. A
// 2.4 frame may carry its data length before its data and be unsynchronised
// on its own; its block is filled from what remains once both are undone.
bool ReadFrameData(TTagBytes& bytes, const TagInfo& info, std::span<const std::uint8_t> header,
                   std::int64_t dataStart, std::uint64_t dataSize, const FrameLayout& layout,
                   std::vector<std::uint8_t>& data) {
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(dataSize, layout.blockLength));
    bool dataLength = false;
    bool unsynchronised = false;
    if (info.Version == kVersion24) {
        const std::uint8_t flags = header[kFrameFlagsOffset];
        dataLength = (flags & kFrameFlagDataLength) != 0;
        unsynchronised = (flags & kFrameFlagUnsynchronised) != 0 || (info.Flags & kFlagUnsynchronisation) != 0;
    }
    // Enough stored bytes for a whole block after both are undone.
    const std::uint64_t stored = (dataLength ? kDataLengthSize : 0) + (unsynchronised ? 2 : 1) * layout.blockLength;
    data.resize(static_cast<std::size_t>(std::min(dataSize, stored)));
    std::size_t got = 0;
    if (!data.empty() && (!bytes.ReadAt(dataStart, data, got) || got < wanted)) return false;
    data.resize(got);
    const auto lengthBytes = static_cast<std::ptrdiff_t>(dataLength ? std::min(got, kDataLengthSize) : 0);
    data.erase(data.begin(), data.begin() + lengthBytes);
    if (unsynchronised) Resynchronise(data);
    if (data.size() > layout.blockLength) data.resize(layout.blockLength);
    return true;
}

void WalkFrames(TTagBytes& bytes, TagInfo& info, std::int32_t tagSize, const FrameLayout& layout,
                bool collectPicture) {
    const std::optional<std::int64_t> start = FrameWalkStart(bytes, info);
    if (!start) return;
    std::array<std::uint8_t, kLargestFrameHeader> headerBytes{};
    const std::span<std::uint8_t> header = std::span(headerBytes).first(layout.headerSize);
    std::vector<std::uint8_t> data;  // one frame's bytes as read
    std::int64_t position = *start;
    while (!bytes.Ends(position)) {
        std::size_t got = 0;
        if (!bytes.ReadAt(position, header, got) || got != header.size()) return;
        if (!IsCapital(header[0])) return;

        const std::int64_t dataStart = position + static_cast<std::int64_t>(layout.headerSize);
        const auto sizeBytes = std::span<const std::uint8_t>(header).subspan(layout.sizeOffset, layout.sizeWidth);
        std::uint64_t dataSize = BigEndian(sizeBytes);
        if (info.Version == kVersion24 && layout.sizeWidth == kSizeFieldWidth) {
            const std::optional<std::uint32_t> size =
                FrameSizeV24(bytes.File(), sizeBytes.first<kSizeFieldWidth>(), dataStart, tagSize, info.FileSize);
            if (!size) return;
            dataSize = *size;
        }

        const std::string_view id(reinterpret_cast<const char*>(header.data()), layout.idLength);
        // Only frames that can land in a slot need their data read.
        const int index = FrameSlotIndex(info.Version, id);
        if (index >= 0 && (collectPicture || index != kPictureSlot)) {
            if (!ReadFrameData(bytes, info, header, dataStart, dataSize, layout, data)) return;
            StoreFrame(info, index, data, layout.blockLength);
        } else if (!bytes.Holds(dataStart, std::min<std::uint64_t>(dataSize, layout.blockLength))) {
            return;
        }
        position = dataStart + static_cast<std::int64_t>(dataSize);
    }
}


bool ReadHeader(TByteSource& source, TagInfo& info) {
    std::array<std::uint8_t, kHeaderSize> bytes{};
    std::size_t got = 0;
    if (!source.ReadAt(0, bytes, got)) return false;
    std::copy_n(bytes.begin(), info.Marker.size(), info.Marker.begin());
    info.Version = bytes[kVersionOffset];
    info.Revision = bytes[kRevisionOffset];
    info.Flags = bytes[kFlagsOffset];
    std::copy_n(bytes.begin() + kSizeOffset, info.SizeBytes.size(), info.SizeBytes.begin());
    std::int64_t size = 0;
    if (!source.Size(size)) return false;
    info.FileSize = size;
    return got == kHeaderSize;
}

std::int32_t TotalTagSize(const TagInfo& info) {
    std::uint64_t size = SyncsafeWhole(info.SizeBytes) + kHeaderSize;
    if ((info.Flags & kFlagFooter) != 0) size += kFooterSize;
    if (info.FileSize < 0 || size > static_cast<std::uint64_t>(info.FileSize)) return 0;
    return static_cast<std::int32_t>(size);
}

// Writers of 2.3 and 2.4 put an extended header before the first frame when
// they keep a CRC or restrictions; its size field is read differently by version.
std::optional<std::int64_t> FrameWalkStart(TTagBytes& bytes, const TagInfo& info) {
    const auto headerEnd = static_cast<std::int64_t>(kHeaderSize);
    if (info.Version == kVersion22 || (info.Flags & kFlagExtendedHeader) == 0) return headerEnd;
    std::array<std::uint8_t, kSizeFieldWidth> sizeBytes{};
    std::size_t got = 0;
    if (!bytes.ReadAt(headerEnd, sizeBytes, got) || got != sizeBytes.size()) return std::nullopt;
    // Some taggers set the flag without writing an extended header: a frame
    // id where its size would stand is no size at all.
    if (std::all_of(sizeBytes.begin(), sizeBytes.end(), IsIdCharacter)) return headerEnd;
    if (info.Version == kVersion23) {
        return headerEnd + static_cast<std::int64_t>(kSizeFieldWidth) + static_cast<std::int64_t>(BigEndian(sizeBytes));
    }
    return headerEnd + static_cast<std::int64_t>(SyncsafeWhole(sizeBytes));
}

// Many 2.4 writers (and every 2.3 tag relabelled as 2.4) store plain frame
// sizes; a syncsafe reading that lands on a boundary, or a plain reading that
// does not, settles it.
std::optional<std::uint32_t> FrameSizeV24(TByteSource& source, std::span<const std::uint8_t, 4> sizeBytes,
                                          std::int64_t dataStart, std::int32_t tagSize, std::int64_t fileSize) {
    const auto plain = static_cast<std::uint32_t>(BigEndian(sizeBytes));
    const bool syncsafeForm =
        std::all_of(sizeBytes.begin(), sizeBytes.end(), [](std::uint8_t b) { return b < kSyncsafeLimit; });
    if (!syncsafeForm) return plain;
    const auto syncsafe = static_cast<std::uint32_t>(SyncsafeWhole(sizeBytes));
    if (syncsafe == plain) return plain;
    const std::optional<bool> syncsafeEnds = IsFrameBoundary(source, dataStart + syncsafe, tagSize, fileSize);
    if (!syncsafeEnds) return std::nullopt;
    if (*syncsafeEnds) return syncsafe;
    const std::optional<bool> plainEnds = IsFrameBoundary(source, dataStart + plain, tagSize, fileSize);
    if (!plainEnds) return std::nullopt;
    return *plainEnds ? plain : syncsafe;
}

// A 2.2 or 2.3 tag written with unsynchronisation is walked over its
// resynchronised bytes; 2.4 marks it frame by frame.
TTagBytes WalkedBytes(TByteSource& source, const TagInfo& info, std::int32_t tagSize) {
    const bool whole = info.Version != kVersion24 && (info.Flags & kFlagUnsynchronisation) != 0;
    return TTagBytes(source, tagSize, info.FileSize, whole);
}

void ReadFramesV23(TByteSource& source, TagInfo& info, std::int32_t tagSize, bool collectPicture) {
    TTagBytes bytes = WalkedBytes(source, info, tagSize);
    WalkFrames(bytes, info, tagSize, kLayoutV23, collectPicture);
}

void ReadFramesV22(TByteSource& source, TagInfo& info, std::int32_t tagSize) {
    TTagBytes bytes = WalkedBytes(source, info, tagSize);
    WalkFrames(bytes, info, tagSize, kLayoutV22, false);  // 2.2 has no picture slot
}

// Files tagged twice or more carry further whole tags before the audio; each
// step moves at least ten bytes and reads ten.
std::int64_t TagsAfter(TByteSource& source, std::int64_t tagEnd, std::int64_t fileSize) {
    std::int64_t start = tagEnd;
    std::array<std::uint8_t, kHeaderSize> header{};
    while (fileSize - start >= static_cast<std::int64_t>(kHeaderSize)) {
        std::size_t got = 0;
        if (!source.ReadAt(start, header, got) || got != header.size()) break;
        const TByteReader bytes(header);
        const std::uint8_t version = header[kVersionOffset];
        const auto sizeBytes = std::span(header).subspan(kSizeOffset, kSizeFieldWidth);
        if (!bytes.Matches(0, kMarker) || version < kVersion22 || version > kVersion24 ||
            header[kRevisionOffset] == kLastRevision ||
            !std::all_of(sizeBytes.begin(), sizeBytes.end(), [](std::uint8_t b) { return b < kSyncsafeLimit; })) {
            break;
        }
        std::int64_t size = static_cast<std::int64_t>(kHeaderSize + SyncsafeWhole(sizeBytes));
        if (version == kVersion24 && (header[kFlagsOffset] & kFlagFooter) != 0) size += kFooterSize;
        if (size >= fileSize - start) break;
        start += size;
    }
    return start - tagEnd;
}

// Into text, which is written over; texts are stored trimmed.
void DecodeText(const TextBytes& bytes, std::string& text) {
    text.clear();
    switch (bytes.encoding) {
        case kUtf16:
            DecodeUtf16(bytes, false, text);
            break;
        case kUtf16BE:
            DecodeUtf16(bytes, true, text);
            break;
        case kUtf8:
            DecodeUtf8(bytes, text);
            break;
        default: {
            // The block's zeros fall away by the trimming (so would the
            // encoding byte, which is 0 here), so only the real bytes are kept.
            std::span<const std::uint8_t> real = bytes.body;
            while (!real.empty() && Trimmed(real.back())) real = real.first(real.size() - 1);
            while (!real.empty() && Trimmed(real.front())) real = real.subspan(1);
            text.assign(reinterpret_cast<const char*>(real.data()), real.size());
            return;
        }
    }
    TrimBoth(text);
}

void DecodeText(const Slot& slot, std::string& text) { DecodeText(TextOf(slot), text); }

void TextOrFallback(const Slot& primary, const Slot& secondary, std::string& text) {
    DecodeText(primary, text);
    if (text.empty()) DecodeText(secondary, text);
}

void YearOrDate(const Slot& year, const Slot& date, std::string& text) {
    DecodeText(year, text);
    if (!text.empty()) return;
    DecodeText(date, text);
    if (text.size() > kYearLength) text.resize(kYearLength);
}

std::int32_t ParseTrackNumber(std::string_view text) {
    constexpr std::uint64_t kLargestMagnitude = 0x80000000u;  // -2^31 is the only value that needs it
    constexpr unsigned kDecimal = 10;
    constexpr unsigned kHexadecimal = 16;
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    unsigned base = kDecimal;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = kHexadecimal;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = kHexadecimal;
        i += 2;
    }
    if (i == text.size()) return 0;
    std::uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == kHexadecimal && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a') + kDecimal;
        } else if (base == kHexadecimal && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A') + kDecimal;
        } else {
            return 0;
        }
        magnitude = magnitude * base + digit;
        if (magnitude > kLargestMagnitude) return 0;
    }
    if (negative) return static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
    return magnitude < kLargestMagnitude ? static_cast<std::int32_t>(magnitude) : 0;
}

std::uint16_t TrackFromText(const Slot& slot) {
    std::string text;
    DecodeText(slot, text);
    const std::string_view number = std::string_view(text).substr(0, text.find('/'));
    return static_cast<std::uint16_t>(ParseTrackNumber(number));  // the low 16 bits
}

void GenreFromText(const Slot& slot, std::string& text) {
    DecodeText(slot, text);
    const std::size_t close = text.rfind(')');
    if (close != std::string::npos) text.erase(0, close + 1);
}

void TextAfterDescription(const Slot& slot, bool withLanguage, std::string& text) {
    text.clear();
    if (slot.Empty()) return;
    const std::uint8_t encoding = slot.At(0);
    const bool wideTerminator = encoding == kUtf16 || encoding == kUtf16BE;
    const std::size_t real = slot.bytes.size();
    const std::size_t start = std::min(slot.length, withLanguage ? 1 + kLanguageLength : std::size_t{1});
    const std::size_t rest = slot.length - start;

    // How many bytes of the rest go with the description and its terminator.
    std::size_t cut = 0;
    if (wideTerminator) {
        // Only at character boundaries: a character with a zero high byte
        // followed by one with a zero low byte is no terminator.
        cut = std::min<std::size_t>(1, rest);
        for (std::size_t o = 0; o + 1 < rest; o += 2) {
            if (start + o >= real || (slot.At(start + o) == 0 && slot.At(start + o + 1) == 0)) {
                cut = o + 2;
                break;
            }
        }
    } else {
        for (std::size_t o = 0; o < rest; ++o) {
            if (start + o >= real || slot.At(start + o) == 0) {
                cut = o + 1;
                break;
            }
        }
    }

    const std::span<const std::uint8_t> remains = std::span(slot.bytes).subspan(std::min(real, start + cut));
    DecodeText(TextBytes{encoding, remains, rest - cut}, text);
}

std::unique_ptr<TJPEGImage> PictureFromFrame(const Slot& slot) {
    auto image = std::make_unique<TJPEGImage>();
    if (slot.length > kPicturePrefix) {
        image->Size = slot.length - kPicturePrefix;
        const std::vector<std::uint8_t>& real = slot.bytes;
        if (real.size() > kPicturePrefix) image->Data.assign(real.begin() + kPicturePrefix, real.end());
    }
    return image;
}

// The frame walk of a supported version, and the fields from its slots.
void ReadFields(TID3v2& tag, TByteSource& source, TagInfo& info) {
    if (info.Version == kVersion22) {
        ReadFramesV22(source, info, tag.TagSize);
    } else {
        ReadFramesV23(source, info, tag.TagSize, tag.CollectPicture);
    }
    auto& slots = info.FrameTexts;
    TextOrFallback(slots[kTitleSlot], slots[kGroupSlot], tag.Title);
    TextOrFallback(slots[kArtistSlot], slots[kOriginalArtistSlot], tag.Artist);
    TextOrFallback(slots[kAlbumSlot], slots[kOriginalAlbumSlot], tag.Album);
    tag.Track = TrackFromText(slots[kTrackSlot]);
    YearOrDate(slots[kYearSlot], slots[kDateSlot], tag.Year);
    GenreFromText(slots[kGenreSlot], tag.Genre);
    TextAfterDescription(slots[kCommentSlot], true, tag.Comment);
    DecodeText(slots[kComposerSlot], tag.Composer);
    DecodeText(slots[kEncoderSlot], tag.Encoder);
    DecodeText(slots[kCopyrightSlot], tag.Copyright);
    DecodeText(slots[kLanguageSlot], tag.Language);
    TextAfterDescription(slots[kLinkSlot], false, tag.Link);
    DecodeText(slots[kOriginalArtistSlot], tag.OriginalArtist);
    TextAfterDescription(slots[kLyricsSlot], true, tag.Lyrics);
    if (tag.CollectPicture) tag.Picture = PictureFromFrame(slots[kPictureSlot]);
}

}  // namespace
}  // namespace id3v2

TID3v2::TID3v2() { Clear(); }

void TID3v2::Clear() {
    HasTag = false;
    Version = 0;
    TagSize = 0;
    FurtherTagsSize = 0;
    Title.clear();
    Artist.clear();
    Album.clear();
    Track = 0;
    Year.clear();
    Genre.clear();
    Comment.clear();
    Composer.clear();
    Encoder.clear();
    Copyright.clear();
    Language.clear();
    Link.clear();
    OriginalArtist.clear();
    Lyrics.clear();
    Picture.reset();
}

bool TID3v2::ReadTag(const char* path) {
    return ReadFromPath(*this, path, [](TID3v2& reader, TByteSource& source) { return reader.ReadTag(source); });
}

bool TID3v2::ReadTag(TByteSource& source) {
    using namespace id3v2;
    Clear();
    TagInfo info;
    if (!ReadHeader(source, info)) return false;
    if (std::memcmp(info.Marker.data(), kMarker.data(), kMarker.size()) != 0) return true;

    HasTag = true;
    Version = info.Version;
    TagSize = TotalTagSize(info);
    if (TagSize == 0) return true;
    if (Version >= kVersion22 && Version <= kVersion24) ReadFields(*this, source, info);
    FurtherTagsSize = TagsAfter(source, TagSize, info.FileSize);
    return true;
}
