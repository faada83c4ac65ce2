// The platform layer gives the same answers in both builds: the native tables
// stand in for the system's code page 1251.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FileSource.h"
#include "TagWriter.h"
#include "TestFiles.h"
#include "platform.h"

using namespace testing_support;

namespace {

TEST(Platform, CodePage1251BothWays) {
    const std::pair<std::uint16_t, const char*> cases[] = {
        {0x0041, "A"},    {0x0410, "\xC0"}, {0x044F, "\xFF"}, {0x0401, "\xA8"}, {0x0451, "\xB8"}, {0x20AC, "\x88"},
        {0x2116, "\xB9"}, {0x00A0, "\xA0"}, {0x0490, "\xA5"}, {0x0098, "\x98"}, {0x00E9, "?"},    {0xFFFE, "?"},
        {0xD83D, "?"},    {0x00C4, "?"},    {0x2014, "\x97"},
    };
    std::vector<std::uint16_t> units;
    std::string all;
    for (const auto& [unit, ansi] : cases) {
        std::string one;
        platform::AppendWideUnitAnsi(one, unit);
        EXPECT_EQ(one, ansi) << std::hex << unit;
        units.push_back(unit);
        all += one;
    }
    std::string batch = "x";
    platform::AppendWideUnitsAnsi(batch, units.data(), units.size());
    EXPECT_EQ(batch, "x" + all);

    // The 255 non-zero bytes each stand for exactly one unit, the one they read back as.
    int mapped = 0;
    for (std::uint32_t unit = 1; unit <= 0xFFFF; ++unit) {
        std::string ansi;
        platform::AppendWideUnitAnsi(ansi, static_cast<std::uint16_t>(unit));
        if (ansi == "?" && unit != '?') continue;
        ++mapped;
        const std::string utf8 = Utf8(std::u16string(1, static_cast<char16_t>(unit)));
        EXPECT_EQ(platform::AnsiToUtf8(ansi), utf8) << std::hex << unit;
        std::string back;
        EXPECT_TRUE(platform::Utf8ToAnsi(utf8, back));
        EXPECT_EQ(back, ansi);
    }
    EXPECT_EQ(mapped, 255);
    std::string ansi;
    for (const char* refused : {"caf\xC3\xA9", "\xE2\x98\xBA", "\xF0\x9F\x8E\xB5", "\xC3", "\xC0\x80", "\xFF"}) {
        EXPECT_FALSE(platform::Utf8ToAnsi(refused, ansi)) << refused;
    }
}

TEST(Platform, LetterCaseKeepsLengthAndMapsCyrillic) {
    const char* const cases[][3] = {
        {"abcXYZ019", "ABCXYZ019", "abcxyz019"},
        {"\xE0\xFF\xC0\xDF", "\xC0\xDF\xC0\xDF", "\xE0\xFF\xE0\xFF"},  // а я А Я
        {"\xB8\xA8", "\xA8\xA8", "\xB8\xB8"},                          // ё Ё
        {"\xA2\xB4\x9A\x90", "\xA1\xA5\x8A\x80", "\xA2\xB4\x9A\x90"},  // ў ґ љ ђ
        {"\xB5\xAB\x88", "\xB5\xAB\x88", "\xB5\xAB\x88"},              // µ « €
    };
    for (const auto& c : cases) {
        std::string upper = c[0], lower = c[0];
        platform::ToUpperAnsi(upper.data(), upper.size());
        platform::ToLowerAnsi(lower.data(), lower.size());
        EXPECT_EQ(upper, c[1]) << c[0];
        EXPECT_EQ(lower, c[2]) << c[0];
    }
}

TEST(Platform, MoveNeverReplacesAnExistingFile) {
    TempDir dir;
    const std::string a = dir.Write("a.mp3", {1, 2, 3});
    const std::string b = dir.Write("b.mp3", {4, 5});
    EXPECT_FALSE(platform::MoveNoReplace(a.c_str(), b.c_str()));
    Bytes bytes;
    ASSERT_TRUE(ReadFile(b, bytes));
    EXPECT_EQ(bytes, (Bytes{4, 5}));
    EXPECT_TRUE(platform::MoveNoReplace(a.c_str(), a.c_str()));
    const std::string cyrillic = dir.File("\xCF\xE5\xF1\xED\xFF.mp3");  // "Песня"
    EXPECT_TRUE(platform::MoveNoReplace(a.c_str(), cyrillic.c_str()));
    EXPECT_EQ(ListDir(dir.Path()), (std::vector<std::string>{"b.mp3", "\xCF\xE5\xF1\xED\xFF.mp3"}));
    ASSERT_TRUE(ReadFile(cyrillic, bytes));
    EXPECT_EQ(bytes, (Bytes{1, 2, 3}));
    EXPECT_FALSE(platform::MoveNoReplace(dir.File("missing.mp3").c_str(), dir.File("c.mp3").c_str()));
    EXPECT_FALSE(FileExists(dir.File("c.mp3")));
}

// The file as the system reads it and through the file layer's windows: the
// same bytes at any offset, around both windows' edges, larger than a window,
// past the end.
TEST(FileSource, ReadsGiveTheFilesBytesAnywhereAndFoldersAreRefused) {
    TempDir dir;
    Bytes content(3 * TFileSource::kWindowSize + 123);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>((i * 131) >> 3);
    const std::string path = dir.Write("\xD2\xE5\xF1\xF2.mp3", content);  // "Тест"
    platform::ReadOnlyFile file;
    TFileSource source;
    ASSERT_TRUE(file.Open(path.c_str()));
    ASSERT_TRUE(source.Open(path.c_str()));
    std::int64_t size = 0, fileSize = 0;
    ASSERT_TRUE(source.Size(size));
    ASSERT_TRUE(file.Size(fileSize));
    ASSERT_EQ(size, static_cast<std::int64_t>(content.size()));
    ASSERT_EQ(fileSize, size);
    const std::pair<std::int64_t, std::size_t> reads[] = {
        {0, 10},     {5, 3458},    {32760, 16},  {32768, 1},  {size - 128, 128}, {size - 3586, 3458},
        {size - 5000, 4000}, {1000, 70000}, {size - 3, 10}, {size, 4}, {size + 1000, 16}, {12345, 0}, {size - 4096, 4096},
    };
    for (const auto& [offset, count] : reads) {
        SCOPED_TRACE(offset);
        const std::size_t want = offset >= size ? 0 : std::min<std::size_t>(count, static_cast<std::size_t>(size - offset));
        Bytes cached(count, 0xEE), direct(count, 0xEE);
        std::size_t got = 0, directGot = 0;
        ASSERT_TRUE(source.ReadAt(offset, cached, got));
        ASSERT_TRUE(file.ReadAt(offset, direct.data(), count, directGot));
        ASSERT_EQ(got, want);
        ASSERT_EQ(directGot, want);
        const auto from = content.begin() + static_cast<std::ptrdiff_t>(std::min<std::int64_t>(offset, size));
        EXPECT_TRUE(std::equal(cached.begin(), cached.begin() + static_cast<std::ptrdiff_t>(got), from));
        EXPECT_TRUE(std::equal(direct.begin(), direct.begin() + static_cast<std::ptrdiff_t>(got), from));
    }
    Bytes out(4);
    std::size_t got = 0;
    EXPECT_FALSE(source.ReadAt(-4, out, got));
    EXPECT_FALSE(file.ReadAt(-1, out.data(), out.size(), got));
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    ASSERT_TRUE(MakeDir(dir.File("folder.mp3")));
    EXPECT_FALSE(file.Open(dir.File("folder.mp3").c_str()));
    EXPECT_FALSE(file.Open(dir.File("missing.mp3").c_str()));
}

}  // namespace
