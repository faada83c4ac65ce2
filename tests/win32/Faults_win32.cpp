// File-system faults of the Windows build (names it refuses are in
// Faults_test.cpp). Each keeps the file whole and hands the host a path that exists.
#define STRICT
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include "PluginTest.h"
#include "TestFiles.h"
#include "platform.h"

using namespace testing_support;

namespace {

class WindowsFaults : public PluginTest {
protected:
    TempDir dir;
};

// Held with no sharing at all, the plug-in can neither read nor move it; while
// the plug-in reads a file, others may still read and write it.
TEST_F(WindowsFaults, FileLockedByAnotherOpenerAndSharedByTheReader) {
    const std::string path = dir.Write("x.mp3", TaggedFile());
    HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Process(path, true), path);
    EXPECT_EQ(Process(path, false), path);
    CloseHandle(lock);
    EXPECT_EQ(ListDir(dir.Path()), std::vector<std::string>{"x.mp3"});
    EXPECT_TRUE(Contents(path) == TaggedFile());

    platform::ReadOnlyFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    file.Close();
    EXPECT_EQ(Process(path, false), dir.File("A - B.mp3"));  // released, renamed as usual
}

TEST_F(WindowsFaults, ReadOnlyFileIsRenamedUnchanged) {
    const std::string path = dir.Write("x.mp3", TaggedFile());
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string renamed = dir.File("A - B.mp3");
    EXPECT_EQ(Process(path, false), renamed);
    EXPECT_TRUE(Contents(renamed) == TaggedFile());
    EXPECT_EQ(GetFileAttributesA(renamed.c_str()) & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    SetFileAttributesA(renamed.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
