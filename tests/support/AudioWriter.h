// Byte-exact MPEG audio for the tests, the fuzz seeds and the benchmark's
// library: frame headers with any field values, whole frames of the right
// length and streams of them, Xing and VBRI headers at the side-information
// offset, encoder signatures, and a frame walker that checks files made by real
// encoders. Its tables are its own, kept apart from the code under test, and it
// needs no test framework.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "TagWriter.h"

namespace testing_support {

// Field values as they stand in the header (codes, not meanings).
struct FrameFields {
    int version = 3;  // 3 MPEG 1, 2 MPEG 2, 0 MPEG 2.5, 1 reserved
    int layer = 1;    // 1 Layer III, 2 Layer II, 3 Layer I, 0 reserved
    bool crc = false;
    int bitRateIndex = 9;
    int sampleRateIndex = 0;
    bool padded = false;
    bool privateBit = false;
    int mode = 1;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    int modeExtension = 0;
    bool copyright = false;
    bool original = false;
    int emphasis = 0;
};

// MPEG 1 Layer III, 128 kbit/s, 44100 Hz, joint stereo: the fields as they default.
inline constexpr FrameFields kCbr128{};
// The fields of these codes, the others as they default.
FrameFields MpegFields(int version, int layer, int bitRateIndex, int sampleRateIndex, bool padded = false,
                       int mode = 1);

// The four header bytes; any field value is written as given (masked to its width).
Bytes HeaderBytes(const FrameFields& fields);
FrameFields FieldsFromHeader(const std::uint8_t* header);

// 0 where the standard has no value (reserved codes, free format, index 15).
int BitRateKbps(const FrameFields& fields);
int SampleRateHz(const FrameFields& fields);
int SamplesPerFrame(const FrameFields& fields);
// Whole bytes of a frame: samples / 8 * bit rate / sample rate, plus the padding slot.
std::size_t FrameSize(const FrameFields& fields);
// Where a Xing or VBRI header stands: after the header and the side information.
std::size_t VbrHeaderOffset(const FrameFields& fields);

// A frame of FrameSize bytes: the header, then fill bytes.
Bytes Frame(const FrameFields& fields, std::uint8_t fill = 0);
Bytes Stream(const FrameFields& fields, std::size_t count, std::uint8_t fill = 0);
// A stream of frames of kCbr128.
Bytes CbrAudio(std::size_t count, std::uint8_t fill = 0);

// A Xing header (signature, flags, frames, bytes, room for the 100-byte seek
// table, quality field, the vendor's bytes: readers take 8, LAME writes 9)
// written into frame at offset. "Info" is the signature LAME gives the header
// of a CBR stream.
void PutXing(Bytes& frame, std::size_t offset, std::int32_t frames, std::int32_t bytes, std::uint8_t quality,
             std::string_view vendor, std::string_view signature = "Xing");
// The seek table of the Xing header at offset, evenly spread, as an encoder
// fills it for a stream of one rate.
void PutXingSeekTable(Bytes& frame, std::size_t offset);
// A VBRI header (signature, version, delay, quality, bytes, frames) at offset.
void PutVbri(Bytes& frame, std::size_t offset, std::int32_t bytes, std::int32_t frames, std::uint8_t quality);
// A frame of the fields carrying a Xing header at the usual place.
Bytes XingFrame(const FrameFields& fields, std::int32_t frames, std::int32_t bytes, std::string_view vendor = "LAME3.97");

// Writes text or bytes at offset, growing the buffer when needed.
void Put(Bytes& bytes, std::size_t offset, std::string_view text);

// The MPEG frames of a whole file, walked header by header from the end of its
// ID3v2 tag until something that is not a frame.
struct FrameWalk {
    std::size_t tagSize = 0;      // ID3v2 tag, header and footer included
    std::size_t firstOffset = 0;  // first frame, from the start of the file
    std::size_t frames = 0;
    std::size_t end = 0;  // one past the last whole frame
    FrameFields first;
};
FrameWalk WalkFrames(const Bytes& file);

}  // namespace testing_support
