// The analyser on MP3s made at test time by real encoders (lame, and ffmpeg
// with the encoders it has), compared with what the encoder settings and an
// independent walk over the frames say. Native only: the tools are Debian's.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>

#include "AudioWriter.h"
#include "MPEGaudio.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

bool HasTool(const std::string& probe) {
#ifdef _WIN32
    (void)probe;
    return false;
#else
    return RunCommand(probe + " >/dev/null 2>&1") == 0;
#endif
}

// A 16-bit PCM WAV file of two tones.
void WriteWav(const std::string& path, int rate, int channels, double seconds) {
    const auto frames = static_cast<std::uint32_t>(seconds * rate);
    const std::uint32_t dataBytes = frames * static_cast<std::uint32_t>(channels) * 2;
    Bytes wav;
    auto text = [&](const char* s) {
        for (int i = 0; i < 4; ++i) wav.push_back(static_cast<std::uint8_t>(s[i]));
    };
    auto le = [&](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) wav.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    text("RIFF");
    le(36 + dataBytes, 4);
    text("WAVE");
    text("fmt ");
    le(16, 4);
    le(1, 2);  // PCM
    le(static_cast<std::uint32_t>(channels), 2);
    le(static_cast<std::uint32_t>(rate), 4);
    le(static_cast<std::uint32_t>(rate * channels * 2), 4);
    le(static_cast<std::uint32_t>(channels * 2), 2);
    le(16, 2);
    text("data");
    le(dataBytes, 4);
    const double pi = std::acos(-1.0);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        for (int c = 0; c < channels; ++c) {
            const double v = 6000 * std::sin(2 * pi * (440 + 110 * c) * t) + 3000 * std::sin(2 * pi * 3150 * t * t);
            le(static_cast<std::uint32_t>(static_cast<std::int16_t>(v)) & 0xFFFF, 2);
        }
    }
    WriteFile(path, wav);
}

std::string TimeText(double seconds) {
    const auto whole = static_cast<long long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld", whole / 60, whole % 60);
    return text;
}

struct Encoding {
    const char* name;
    const char* tool;  // "lame" or "ffmpeg"
    const char* args;
    int inputChannels;
    double seconds;
    int kbps;  // 0: VBR, with a Xing header
    int sampleRate;
    const char* mode;
    bool lameTail;  // lame leaves its signature in every frame's spare bits
    std::size_t maxBytes = 0;  // files meant to be shorter than the tail block
};

const Encoding kEncodings[] = {
    {"lame CBR 128", "lame", "-b 128 -m j", 2, 7.4, 128, 44100, "Joint Stereo", true},
    {"lame CBR 160 stereo", "lame", "-b 160 -m s", 2, 4.3, 160, 44100, "Stereo", true},
    {"lame VBR -V 4", "lame", "-V 4 -m j", 2, 7.4, 0, 44100, "Joint Stereo", false},
    {"lame mono CBR 64", "lame", "-m m -b 64", 1, 5.6, 64, 44100, "Mono", true},
    {"lame mono VBR", "lame", "-m m -V 4", 1, 5.6, 0, 44100, "Mono", false},
    {"lame MPEG-2 22.05 kHz", "lame", "--resample 22.05 -b 64 -m j", 2, 6.5, 64, 22050, "Joint Stereo", true},
    {"lame MPEG-2 22.05 kHz VBR", "lame", "--resample 22.05 -V 4 -m j", 2, 6.5, 0, 22050, "Joint Stereo", false},
    {"lame MPEG-2.5 8 kHz", "lame", "--resample 8 -b 16 -m m", 1, 9.3, 16, 8000, "Mono", false},
    {"lame MPEG-2.5 8 kHz VBR", "lame", "--resample 8 -V 6 -m m", 1, 9.3, 0, 8000, "Mono", false},
    {"lame under 3 KB, no Info frame", "lame", "-t -b 128 -m j", 2, 0.1, 128, 44100, "Joint Stereo", false, 3000},
    {"lame under 3 KB at 8 kHz", "lame", "--resample 8 -b 8 -m m", 1, 1.3, 8, 8000, "Mono", false, 3000},
    {"ffmpeg libmp3lame CBR, ID3v2.4 and ID3v1", "ffmpeg",
     "-c:a libmp3lame -b:a 96k -joint_stereo 0 -write_id3v1 1 -metadata title=Song", 2, 7.4, 96, 44100, "Stereo",
     true},
    {"ffmpeg libmp3lame VBR", "ffmpeg", "-c:a libmp3lame -q:a 5 -joint_stereo 0", 2, 7.4, 0, 44100, "Stereo", false},
    {"ffmpeg libmp3lame 48 kHz mono, ID3v2.3", "ffmpeg",
     "-ar 48000 -c:a libmp3lame -b:a 80k -id3v2_version 3 -metadata artist=Band", 1, 3.7, 80, 48000, "Mono", true},
    {"ffmpeg libshine CBR", "ffmpeg", "-c:a libshine -b:a 128k", 2, 5.5, 128, 44100, "Stereo", false},
    {"ffmpeg MPEG-1 Layer II", "ffmpeg", "-c:a mp2 -b:a 96k -f mp2", 1, 7.4, 96, 44100, "Mono", false},
};

class RealEncoders : public ::testing::TestWithParam<Encoding> {};

TEST_P(RealEncoders, AgreeWithSettingsAndFrames) {
    const Encoding& e = GetParam();
    const std::string tool = e.tool;
    const std::string args = e.args;
    if (!HasTool("command -v " + tool)) GTEST_SKIP() << tool << " is not installed";
    if (const std::size_t codec = args.find("-c:a "); codec != std::string::npos) {
        const std::string encoder = args.substr(codec + 5, args.find(' ', codec + 5) - codec - 5);
        if (!HasTool("ffmpeg -hide_banner -encoders 2>/dev/null | grep -qw " + encoder)) {
            GTEST_SKIP() << "ffmpeg has no " << encoder;
        }
    }

    TempDir dir;
    const std::string input = dir.File("in.wav");
    const std::string output = dir.File("out.mp3");
    WriteWav(input, 44100, e.inputChannels, e.seconds);
    const std::string command = tool == "lame"
                                    ? "lame --quiet " + args + " '" + input + "' '" + output + "'"
                                    : "ffmpeg -v error -y -i '" + input + "' " + args + " '" + output + "'";
    ASSERT_EQ(RunCommand(command), 0) << command;

    Bytes bytes;
    ASSERT_TRUE(ReadFile(output, bytes));
    const FrameWalk walk = WalkFrames(bytes);
    ASSERT_GT(walk.frames, 2u);
    if (e.maxBytes > 0) {
        ASSERT_LT(bytes.size(), e.maxBytes);
    }
    ASSERT_EQ(SampleRateHz(walk.first), e.sampleRate) << "the encoder ignored its settings";
    const bool id3v1 = bytes.size() >= 128 && std::string(bytes.end() - 128, bytes.end() - 125) == "TAG";
    const std::size_t audioBytes = bytes.size() - walk.tagSize - (id3v1 ? 128 : 0);

    double seconds = 0;
    if (e.kbps > 0) {
        seconds = static_cast<double>(audioBytes) * 8.0 / (e.kbps * 1000.0);
        // Constant bit rate: the bytes and the frames tell the same time.
        EXPECT_NEAR(seconds, static_cast<double>(walk.frames * SamplesPerFrame(walk.first)) / double(e.sampleRate), 0.03);
    } else {
        // The Xing frame is not counted in its own frame count.
        seconds = static_cast<double>((walk.frames - 1) * SamplesPerFrame(walk.first)) / double(e.sampleRate);
    }
    ASSERT_NEAR(seconds, e.seconds, 0.3) << "the encoder's padding is a few frames at most";
    ASSERT_GT(std::fabs(seconds - std::round(seconds)), 0.005) << "too near a whole second to compare texts";

    TMPEGaudio audio;
    ASSERT_TRUE(audio.LoadFromFile(output.c_str()));
    ASSERT_TRUE(audio.frame.found);
    EXPECT_EQ(audio.ID3v2Tag.TagSize, static_cast<std::int32_t>(walk.tagSize));
    EXPECT_EQ(audio.ID3v1Tag.HasTag, id3v1);
    EXPECT_EQ(static_cast<std::size_t>(audio.frame.position), walk.firstOffset - walk.tagSize);
    EXPECT_EQ(audio.SampleRate(), e.sampleRate);
    EXPECT_EQ(audio.ChannelModeText(), e.mode);
    EXPECT_EQ(audio.vbr.found, e.kbps == 0);
    if (e.kbps > 0) {
        EXPECT_EQ(audio.BitRate(), e.kbps);
    } else {
        const double average = static_cast<double>(walk.end - walk.firstOffset) * 8.0 / seconds / 1000;
        EXPECT_NEAR(audio.BitRate(), average, 1.5);
        EXPECT_EQ(audio.encoderText, "");
    }
    EXPECT_NEAR(audio.Duration(), seconds, 1e-9);
    EXPECT_EQ(audio.DurationText(), TimeText(seconds));
    if (e.lameTail) {
        EXPECT_EQ(audio.encoderText.size(), 8u);
        EXPECT_EQ(audio.encoderText.substr(0, 6), "LAME3.");
    }
}

INSTANTIATE_TEST_SUITE_P(Encoders, RealEncoders, ::testing::ValuesIn(kEncodings),
                         [](const ::testing::TestParamInfo<Encoding>& encoding) {
                             std::string name;
                             for (const char* p = encoding.param.name; *p != '\0'; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

}  // namespace
