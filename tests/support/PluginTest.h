// A test that drives the plug-in as a host does: the library loaded by file
// name, one options record from newOpt, process called through the export.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "TestFiles.h"

namespace testing_support {

class PluginTest : public ::testing::Test {
protected:
    // Loads the plug-in and takes a record: "*artist* - *title*", ID3v2.
    void SetUp() override;
    void TearDown() override;

    // The pattern, zeros after it, and the tag source of the record.
    void SetPattern(const std::string& pattern, std::int32_t tagSource = 0);
    // The path process hands back for path; in preview the same file is read.
    std::string Process(const std::string& path, bool preview);

    Plugin plugin;
    PluginOptions* options = nullptr;
};

// The text process hands back for oldPath as the host calls it: the file
// read is source (oldPath itself when empty); the new path, or oldPath unchanged.
std::string CallProcess(const PluginExports& plugin, PluginOptions* options, const std::string& oldPath, bool preview,
                        const std::string& source = {});

// ID3v2.3 with artist A and the title, then 20 frames of MPEG 1 Layer III at
// 128 kbit/s and 44100 Hz.
Bytes TaggedFile(const std::string& title = "B");
// The same with an ID3v1 tag of artist C, title D after the audio.
Bytes TaggedFileWithID3v1();

}  // namespace testing_support
