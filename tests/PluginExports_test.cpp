// The plug-in as a host sees it: loaded by file name, eight exports by name,
// and what a careless or hostile host may hand it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "PluginTest.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

class PluginExports : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        path = dir.Write("x.mp3", TaggedFileWithID3v1());
    }

    std::string Preview(const std::string& oldPath, const std::string& source) {
        return CallProcess(plugin, options, oldPath, true, source);
    }

    // process on the text, which it may replace; the text handed back.
    std::string Call(char*& p, const char* previewPath, std::uint8_t preview) {
        plugin.process(&p, previewPath, nullptr, nullptr, &options, preview);
        return p;
    }

    TempDir dir;
    std::string path;
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

TEST_F(PluginExports, ExportsNothingButTheEight) {
#ifndef _WIN32
    std::set<std::string> names;
    FILE* nm = ::popen(("nm -D --defined-only '" + PluginPath() + "'").c_str(), "r");
    ASSERT_NE(nm, nullptr);
    char line[512];
    while (std::fgets(line, sizeof line, nm) != nullptr) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name) names.insert(name);
    }
    ::pclose(nm);
    EXPECT_EQ(names, (std::set<std::string>{"getInfo", "initialize", "newOpt", "freeOpt", "showOptions", "process",
                                            "exportBtns", "clickBtn"}));
#else
    for (const char* decorated : {"ReplaceAllIgnoreCase", "getInfo@4", "_getInfo@4"}) {
        EXPECT_EQ(plugin.Symbol(decorated), nullptr) << decorated;
    }
#endif
}

TEST_F(PluginExports, RecordsComeFromAndGoBackToOneHeap) {
    PluginOptions* record = nullptr;
    plugin.newOpt(&record);
    ASSERT_NE(record, nullptr);
    std::memset(record, 'x', sizeof *record);  // all 260 bytes are the host's
    plugin.freeOpt(record);

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

TEST_F(PluginExports, NullPointersForEveryPointerArgument) {
    char text[] = "x.mp3";
    char* p = text;
    char* none = nullptr;
    PluginOptions* noRecord = nullptr;
    plugin.getInfo(nullptr);
    plugin.newOpt(nullptr);
    plugin.freeOpt(nullptr);
    plugin.exportBtns(nullptr, nullptr);
    std::int32_t buttons = 12345;
    plugin.exportBtns(nullptr, &buttons);
    EXPECT_EQ(buttons, 0);
    plugin.clickBtn();
    EXPECT_EQ(plugin.showOptions(0, nullptr, nullptr), 0);
    EXPECT_EQ(plugin.showOptions(1, nullptr, nullptr), 0);
    PluginOptions* created = nullptr;
    plugin.showOptions(1, &created, nullptr);
    EXPECT_NE(created, nullptr);
    plugin.freeOpt(created);

    plugin.process(nullptr, path.c_str(), nullptr, nullptr, &options, 1);
    plugin.process(&none, path.c_str(), nullptr, nullptr, &options, 1);
    plugin.process(&p, path.c_str(), nullptr, nullptr, nullptr, 1);
    plugin.process(&p, path.c_str(), nullptr, nullptr, &noRecord, 1);
    plugin.process(nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(p, text);
    EXPECT_EQ(none, nullptr);
    // Without a preview text the file itself is read.
    std::string old = path;
    p = old.data();
    EXPECT_EQ(Call(p, nullptr, 1), dir.File("A - B.mp3"));
    EXPECT_TRUE(FileExists(path));
#ifndef _WIN32
    // Under Windows initialize would register the window class for every later test.
    plugin.initialize(nullptr);
    EXPECT_EQ(plugin.showOptions(0, &noRecord, &none), 0);
    EXPECT_EQ(noRecord, nullptr);
#endif
}

// Only 0 and 1 select a tag; the pattern is all 256 bytes when none is NUL,
// and the tag source after it never joins the name.
TEST_F(PluginExports, PatternsAndTagSources) {
    const std::string filler(247, 'p');
    struct Case {
        std::string pattern;
        std::int32_t tagSource;
        std::string name;  // empty: the name is kept
    };
    const Case cases[] = {
        {"*artist* *bitrate*", 0, "A 128.mp3"},
        {"*artist* *bitrate*", 1, "C 128.mp3"},
        {"*artist* *bitrate*", 2, "*artist* 128.mp3"},
        {"*artist* *bitrate*", -1, "*artist* 128.mp3"},
        {"*artist* *bitrate*", INT32_MIN, "*artist* 128.mp3"},
        {"*artist* - *title*", 7, ""},
        {filler + "*bitrate*", 1, filler + "128.mp3"},
        {filler + "*bitrate*", 0x41414141, filler + "128.mp3"},
        {std::string(250, 'p') + "*bitrate*", 0, ""},  // the placeholder cut by the record's end
    };
    for (const Case& c : cases) {
        SetPattern(c.pattern, c.tagSource);
        EXPECT_EQ(Preview(path, path), c.name.empty() ? path : dir.File(c.name)) << c.pattern << " " << c.tagSource;
    }
}

TEST_F(PluginExports, PathsWithoutADirectoryOrAnMp3File) {
    EXPECT_EQ(Preview("x.mp3", path), "A - B.mp3");
    EXPECT_EQ(Preview("X.Mp3", dir.File("missing.mp3")), "missing.mp3");

    // A rename of a path without a directory happens where the host stands.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(std::filesystem::path(dir.Path()));
    std::string old = "x.mp3";
    char* p = old.data();
    const std::string renamed = Call(p, nullptr, 0);
    std::filesystem::current_path(before);
    EXPECT_EQ(renamed, "A - B.mp3");
    EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"A - B.mp3"});

    for (const std::string& bad : {dir.Path() + kSep, dir.File("y.mp3") + kSep, std::string(), std::string(".MP3") + kSep,
                                   std::string("song.wav"), std::string("song.mp3.txt"), std::string("song"),
                                   std::string("dir.mp3\\x"), dir.File("song.mp4")}) {
        std::string text = bad;
        p = text.data();
        for (std::uint8_t preview : std::initializer_list<std::uint8_t>{1, 0}) {
            Call(p, text.c_str(), preview);
            EXPECT_EQ(p, text.data()) << "'" << bad << "'";
        }
    }
    EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"A - B.mp3"});
}

// A host may hand the text process returned straight back, as path and preview path.
TEST_F(PluginExports, ReturnedTextHandedBack) {
    std::string old = path;
    char* p = old.data();
    ASSERT_EQ(Call(p, p, 1), dir.File("A - B.mp3"));
    char* const kept = p;
    SetPattern("*title* *bitrate*");
    EXPECT_EQ(Call(p, kept, 1), dir.File("A - B.mp3"));  // names no file yet: the name stays

    // Outside a preview the preview text is never read.
    p = old.data();
    EXPECT_EQ(Call(p, nullptr, 0), dir.File("B 128.mp3"));
    SetPattern("*artist* *sample*", 1);
    EXPECT_EQ(Call(p, dir.File("missing.mp3").c_str(), 0), dir.File("C 44100.mp3"));
    EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"C 44100.mp3"});
    EXPECT_TRUE(Contents(p) == TaggedFileWithID3v1());

    // Far beyond any file system's limit: no file, so the name is kept.
    const std::string longName = dir.File(std::string(100000, 'n') + ".mp3");
    EXPECT_EQ(Preview(longName, longName), longName);
    std::string text = longName;
    p = text.data();
    EXPECT_EQ(Call(p, nullptr, 0), longName);
}

}  // namespace
