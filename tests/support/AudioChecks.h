// What the analysis leaves when it finds no frame or is cleared: reserved
// codes, an unknown mode, nothing found, both tags gone.
#pragma once

#include <gtest/gtest.h>

#include <tuple>

#include "MPEGaudio.h"

namespace testing_support {

inline void ExpectEmpty(const TMPEGaudio& a) {
    const mpeg::FrameInfo& f = a.frame;
    EXPECT_EQ(std::make_tuple(f.found, a.vbr.found, a.fileLength, int{f.versionCode}, int{f.sampleRateIndex},
                              int{f.modeCode}, int{f.modeExtension}, int{f.emphasisCode}),
              std::make_tuple(false, false, 0, 1, 3, 4, 4, 2));
    EXPECT_EQ(std::make_tuple(a.BitRate(), a.SampleRate(), a.ChannelModeText(), a.Duration(), a.DurationText()),
              std::make_tuple(0, 0, "Unknown", 0.0, "00:00"));
    EXPECT_EQ(std::make_tuple(a.ID3v1Tag.HasTag, a.ID3v2Tag.HasTag, a.encoderText), std::make_tuple(false, false, ""));
}

}  // namespace testing_support
