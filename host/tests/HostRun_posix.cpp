// POSIX-only cases: entries named like MP3s that are not regular files.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "HostTestSupport.h"

using namespace hosttest;

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(HostRunPosix, PipesAndBrokenLinksAreReportedNotOpened) {
    TScratch dir;
    // Opening a pipe for reading would wait for a writer for ever.
    ASSERT_EQ(::mkfifo(dir.File("pipe.mp3").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(dir.File("nowhere.mp3").c_str(), dir.File("broken.mp3").c_str()), 0);
    dir.Write("ok.mp3", "Fine");
    const TRun run = RunWithTestPlugin({"--no-journal", "-p", "*title*", dir.Path()});
    EXPECT_EQ(run.status, 0) << "skipped entries are no failures";
    EXPECT_TRUE(Has(run.err, "pipe.mp3: not a regular file; skipped")) << run.err;
    EXPECT_TRUE(Has(run.err, "broken.mp3: a link to nothing; skipped")) << run.err;
    EXPECT_TRUE(Has(run.out, "1 seen, 1 renamed, 0 unchanged, 0 failed, 2 skipped")) << run.out;
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> {"Fine.mp3", "broken.mp3", "pipe.mp3"}));
}

TEST(HostRunPosix, RecursionDoesNotFollowLinkedFolders) {
    TScratch dir;
    const std::string inner = dir.Folder("inner");
    dir.Write("inner/a.mp3", "Alpha");
    ASSERT_EQ(::symlink(dir.Path().c_str(), (inner + "/loop").c_str()), 0);
    const TRun run = RunWithTestPlugin({"--no-journal", "-r", "-p", "*title*", dir.Path()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "1 seen, 1 renamed")) << run.out;
}

}  // namespace
