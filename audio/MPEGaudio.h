// The MPEG audio analyser: finds the first valid frame after the ID3v2 tag,
// its Xing or VBRI header and the encoder signature near the end of the audio,
// and reports bit rate, sample rate, channel mode and play time. Owns the two
// tag readers and fills them from the same open file.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "ID3v1.h"
#include "ID3v2.h"

class TByteSource;

namespace mpeg {

constexpr std::size_t kBlockSize = 3458;          // twice the largest frame
constexpr std::size_t kLargestFrameLength = 1729;
constexpr std::size_t kLastSearchPosition = kBlockSize - kLargestFrameLength;
constexpr std::size_t kEncoderWindow = 8;
constexpr std::size_t kEncoderScanLimit = kBlockSize - kEncoderWindow;  // 3450
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kSignatureSize = 4;
constexpr std::size_t kEncoderScanFrames = 5;  // the tail scan covers this many first-frame lengths
constexpr std::size_t kXingVendorSize = 8;

using Block = std::array<std::uint8_t, kBlockSize>;

struct FrameInfo {
    bool found = false;
    std::int32_t position = 0;
    std::uint16_t length = 0;
    std::array<std::uint8_t, 4> headerBytes{};
    std::uint8_t versionCode = 0;
    std::uint8_t layerCode = 0;
    bool crcProtected = false;
    std::uint16_t bitRateIndex = 0;
    std::uint16_t sampleRateIndex = 0;
    bool padded = false;
    bool privateBit = false;
    std::uint8_t modeCode = 0;
    std::uint8_t modeExtension = 0;
    bool copyrighted = false;
    bool originalBit = false;
    std::uint8_t emphasisCode = 0;
};

struct VBRData {
    bool found = false;
    std::array<char, 4> signature{};
    std::int32_t frameCount = 0;
    std::int32_t byteCount = 0;
    std::uint8_t quality = 0;
    std::string vendor;
};

extern const std::array<std::string_view, 4> VersionTexts;
extern const std::array<std::string_view, 4> LayerTexts;
extern const std::array<std::string_view, 5> ChannelModeTexts;
extern const std::array<std::string_view, 4> EmphasisTexts;
extern const std::array<std::string_view, 7> EncoderTexts;

// Both take the four header bytes at bytes[0..3].
bool IsFrameHeader(const std::uint8_t* bytes);
void DecodeHeader(const std::uint8_t* bytes, FrameInfo& frame);
std::uint16_t TableBitRate(const FrameInfo& frame);
std::uint16_t TableSampleRate(const FrameInfo& frame);
std::uint8_t FrameCoefficient(const FrameInfo& frame);
std::uint8_t PaddingSize(const FrameInfo& frame);
std::uint8_t SideInfoOffset(const FrameInfo& frame);
std::uint16_t FrameLength(const FrameInfo& frame);
void FindFrame(const Block& block, FrameInfo& frame, VBRData& vbr);
VBRData ReadVBRHeader(const Block& block, std::size_t offset);
std::string FindEncoder(const Block& block, std::size_t extent);
// "MM:SS" of a play time in seconds: rounded to whole milliseconds (half to
// even), then whole minutes, at least two digits, and seconds; a negative time
// shows its magnitude.
std::string FormatDuration(double seconds);
// The same for a play time already rounded to whole milliseconds.
std::string FormatMilliseconds(std::int64_t milliseconds);

}  // namespace mpeg

class TMPEGaudio {
public:
    TMPEGaudio();
    ~TMPEGaudio();
    TMPEGaudio(const TMPEGaudio&) = delete;
    TMPEGaudio& operator=(const TMPEGaudio&) = delete;

    void Clear();
    bool LoadFromFile(const char* path);
    bool LoadFromSource(TByteSource& source);

    std::uint16_t BitRate() const;
    std::uint16_t SampleRate() const;
    std::string ChannelModeText() const;
    double Duration() const;
    // The play time rounded to whole milliseconds, half to even, from exact
    // integer arithmetic so that every build shows the same text.
    std::int64_t DurationMilliseconds() const;
    std::string DurationText() const;

    std::int32_t fileLength;
    std::string encoderText;
    mpeg::VBRData vbr;
    mpeg::FrameInfo frame;
    TID3v1 ID3v1Tag;
    TID3v2 ID3v2Tag;

private:
    bool ReadAudio(TByteSource& source);
};
