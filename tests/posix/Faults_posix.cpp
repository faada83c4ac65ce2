// File-system faults only a POSIX system can stage. Root ignores permissions,
// so under root the cases that need them run in a child that drops to nobody.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "MPEGaudio.h"
#include "PluginTest.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

class PosixFaults : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        if (HasFatalFailure()) return;
        SetPattern("*artist* - *title* *bitrate*");
    }

    // Runs f in a child process; false when it does not finish in time or fails.
    static bool FinishesInTime(const std::function<bool()>& f) {
        constexpr auto kLimit = std::chrono::seconds(10);
        const pid_t child = ::fork();
        if (child == 0) ::_exit(f() ? 0 : 1);
        if (child < 0) return false;
        const auto until = std::chrono::steady_clock::now() + kLimit;
        int status = 0;
        while (::waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > until) {
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    // Runs f where permissions hold: here, or in a child that becomes nobody
    // for root. None when restricted() shows that they do not hold even so.
    static std::optional<bool> WithPermissionsEnforced(const std::function<bool()>& restricted,
                                                       const std::function<bool()>& f) {
        constexpr uid_t kNobody = 65534;
        constexpr int kNotEnforced = 2;
        if (::geteuid() != 0) {
            if (!restricted()) return std::nullopt;
            return f();
        }
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0 || !restricted()) ::_exit(kNotEnforced);
            ::_exit(f() ? 0 : 1);
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return false;
        if (WEXITSTATUS(status) == kNotEnforced) return std::nullopt;
        return WEXITSTATUS(status) == 0;
    }

    TempDir dir;
};

// A folder the rename may not write: previewed, not renamed. A file that
// cannot be opened: not analysed, so the name is kept. The file stays whole.
TEST_F(PosixFaults, ClosedFolderOrFile) {
    struct Case {
        const char* name;
        bool folder;  // closed: the folder, else the file
        int refusedAccess;
        const char* previewed;  // null: the name is kept
    };
    const Case cases[] = {
        {"read-only folder", true, W_OK, "A - B 128.mp3"},
        {"unreadable file", false, R_OK, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir place;
        const std::string path = place.Write("x.mp3", TaggedFile());
        const std::string closed = c.folder ? place.Path() : path;
        ASSERT_EQ(::chmod(place.Path().c_str(), 0755), 0);  // open to the user who runs the case
        ASSERT_EQ(::chmod(closed.c_str(), c.folder ? 0555 : 0), 0);
        const std::string previewed = c.previewed == nullptr ? path : place.File(c.previewed);
        const std::optional<bool> ok = WithPermissionsEnforced(
            [&] { return ::access(closed.c_str(), c.refusedAccess) != 0; },
            [&] { return Process(path, true) == previewed && Process(path, false) == path; });
        ::chmod(closed.c_str(), c.folder ? 0755 : 0644);
        if (!ok) GTEST_SKIP() << "permissions cannot be enforced here";
        EXPECT_TRUE(*ok);
        EXPECT_EQ(ListDir(place.Path()), std::vector<std::string>{"x.mp3"});
        EXPECT_TRUE(Contents(path) == TaggedFile());
    }
}

// Opening a pipe waits for a writer, and a device answers reads forever: the
// analysis must neither hang nor read them.
TEST_F(PosixFaults, PipeOrDeviceNamedLikeAnMp3) {
    const std::string pipe = dir.File("x.mp3");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    EXPECT_TRUE(FinishesInTime([&] { return Process(pipe, true) == pipe && Process(pipe, false) == pipe; }));
    struct stat st {};
    ASSERT_EQ(::lstat(pipe.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    for (const char* device : {"/dev/zero", "/dev/null"}) {
        SCOPED_TRACE(device);
        TempDir place;
        const std::string path = place.File("x.mp3");
        ASSERT_EQ(::symlink(device, path.c_str()), 0);
        EXPECT_TRUE(FinishesInTime([&] { return Process(path, true) == path; }));
        TID3v2 v2;
        EXPECT_FALSE(v2.ReadTag(path.c_str()));
        TMPEGaudio audio;
        EXPECT_FALSE(audio.LoadFromFile(path.c_str()));
    }
}

}  // namespace
