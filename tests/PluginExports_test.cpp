// The plug-in as a host sees it: loaded by file name, eight exports by name.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

#include "TestFiles.h"

using namespace testing_support;

namespace {

class PluginExports : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.Load(PluginPath())) << PluginPath(); }
    Plugin plugin;
};

TEST_F(PluginExports, DescriptorIsByteExactOverAFilledRecord) {
    std::uint8_t record[216];
    std::memset(record, 0xFF, sizeof record);
    plugin.getInfo(reinterpret_cast<PluginInfo*>(record));

    std::uint8_t expected[216] = {};
    std::memcpy(expected + 0, "1.0.02", 6);
    std::memcpy(expected + 10, "Pelmora ID3", 11);
    std::memcpy(expected + 60, "Tolvarin", 8);
    std::memcpy(expected + 110, "MP3\\Pelmora ID3", 15);
    std::memcpy(expected + 160, "*.mp3", 5);
    expected[211] = 0xFF;  // the alignment byte is never written
    expected[212] = 0x04;
    expected[213] = 0x01;
    for (std::size_t i = 0; i < sizeof record; ++i) EXPECT_EQ(record[i], expected[i]) << "byte " << i;
}

#ifndef _WIN32
// The names the library's dynamic symbol table defines, as the loader sees them.
std::set<std::string> DefinedDynamicSymbols(const std::string& library) {
    std::set<std::string> names;
    FILE* nm = ::popen(("nm -D --defined-only '" + library + "'").c_str(), "r");
    if (nm == nullptr) return names;
    char line[512];
    while (std::fgets(line, sizeof line, nm) != nullptr) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name) names.insert(name);
    }
    ::pclose(nm);
    return names;
}

TEST_F(PluginExports, ExportsNothingButTheEight) {
    const std::set<std::string> expected{"getInfo",    "initialize", "newOpt",     "freeOpt",
                                         "showOptions", "process",   "exportBtns", "clickBtn"};
    EXPECT_EQ(DefinedDynamicSymbols(PluginPath()), expected);
}
#else
TEST_F(PluginExports, ExportsNothingButTheEight) {
    EXPECT_EQ(plugin.Symbol("ReplaceAllIgnoreCase"), nullptr);
    EXPECT_EQ(plugin.Symbol("getInfo@4"), nullptr);
    EXPECT_EQ(plugin.Symbol("_getInfo@4"), nullptr);
}
#endif

TEST_F(PluginExports, RecordsComeFromAndGoBackToOneHeap) {
    PluginOptions* options = nullptr;
    plugin.newOpt(&options);
    ASSERT_NE(options, nullptr);
    std::memset(options, 'x', sizeof *options);  // all 260 bytes are the host's
    plugin.freeOpt(options);

    PluginOptions* created = nullptr;
    char* description = nullptr;
    EXPECT_EQ(plugin.showOptions(1, &created, &description), 0);  // no window: nothing accepted
    ASSERT_NE(created, nullptr);
    EXPECT_STREQ(created->pattern, "*artist* - *title*");
    for (std::size_t i = std::strlen(created->pattern); i < sizeof created->pattern; ++i) EXPECT_EQ(created->pattern[i], 0);
    EXPECT_EQ(created->tagSource, 0);
    EXPECT_EQ(description, nullptr);
    plugin.freeOpt(created);
}

TEST_F(PluginExports, ToolbarButtonsAreNone) {
    std::int32_t count = 12345;
    plugin.exportBtns(nullptr, &count);
    EXPECT_EQ(count, 0);
    plugin.clickBtn();
}

TEST_F(PluginExports, NullPointersFromTheHostAreSurvived) {
    plugin.getInfo(nullptr);
    plugin.newOpt(nullptr);
    plugin.freeOpt(nullptr);
    plugin.exportBtns(nullptr, nullptr);
    EXPECT_EQ(plugin.showOptions(1, nullptr, nullptr), 0);
    EXPECT_EQ(plugin.showOptions(0, nullptr, nullptr), 0);
    plugin.process(nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    char path[] = "x.mp3";
    char* p = path;
    plugin.process(&p, nullptr, nullptr, nullptr, nullptr, 1);
    EXPECT_EQ(p, path);
    PluginOptions* none = nullptr;
    plugin.process(&p, nullptr, nullptr, nullptr, &none, 1);
    EXPECT_EQ(p, path);
}

TEST_F(PluginExports, OtherExtensionsAreHandedBackUntouched) {
    PluginOptions* options = nullptr;
    char* description = nullptr;
    plugin.showOptions(1, &options, &description);
    for (const char* name : {"song.wav", "song.mp3.txt", "song", "dir.mp3" "\\x", "song.mp4"}) {
        std::string text = name;
        char* p = text.data();
        plugin.process(&p, p, nullptr, nullptr, &options, 1);
        EXPECT_EQ(p, text.data()) << name;
    }
    plugin.freeOpt(options);
}

}  // namespace
