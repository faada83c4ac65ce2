// Fuzz target: TMPEGaudio over the input as a whole file (both tags, the frame
// search, the VBR header, the tail scan and every derived value), cleanly and
// with one failed or short read.
#include <cstdint>

#include "FuzzSource.h"
#include "MPEGaudio.h"

using fuzzing::FaultySource;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    fuzzing::WithFaults(file, [&](FaultySource& source) {
        TMPEGaudio audio;
        const bool result = audio.LoadFromSource(source);
        const std::string mode = audio.ChannelModeText();
        const std::string time = audio.DurationText();
        const std::uint16_t bitRate = audio.BitRate();
        const std::uint16_t sampleRate = audio.SampleRate();
        (void)audio.Duration();
        FUZZ_CHECK(time.size() >= 5 && time[time.size() - 3] == ':');
        if (!audio.frame.found) {
            // Nothing found, or nothing read: the analyser is empty.
            FUZZ_CHECK(bitRate == 0 && sampleRate == 0 && mode == "Unknown" && time == "00:00");
            FUZZ_CHECK(!audio.ID3v2Tag.HasTag && !audio.ID3v1Tag.HasTag && audio.encoderText.empty());
            return;
        }
        FUZZ_CHECK(audio.frame.position >= 0 &&
                   static_cast<std::size_t>(audio.frame.position) <= mpeg::kLastSearchPosition);
        FUZZ_CHECK(audio.frame.length >= mpeg::kHeaderSize && sampleRate != 0);
        FUZZ_CHECK(mpeg::THeader::At(audio.frame.headerBytes).IsValid());
        FUZZ_CHECK(audio.encoderText.size() <= mpeg::kEncoderWindow);
        if (result) FUZZ_CHECK(audio.fileLength == static_cast<std::int64_t>(size));
    });
    return 0;
}
