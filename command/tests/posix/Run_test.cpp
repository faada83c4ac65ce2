// POSIX-only cases: entries named like MP3s that are not regular files, and
// files that change under the read-ahead.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "TestSupport.h"

using namespace commandtest;

namespace {

std::size_t ThreadCount() { return Names("/proc/self/task").size(); }

// Files the read-ahead will reach after the run has begun change under it: one
// is gone, one is a pipe (whose open would wait for a writer for ever without
// O_NONBLOCK, and the run with it). Each is reported as without read-ahead,
// every other file is renamed, and no worker outlives the run, however it ends.
TEST(RunPosix, ReadAheadPassesOverFilesThatChangeAndEndsWithTheRun) {
    TScratch dir;
    constexpr int kFiles = 300;  // the last ones beyond any read-ahead distance when the first is done
    const auto name = [](int i) {
        char text[16];
        std::snprintf(text, sizeof text, "%03d.mp3", i);
        return std::string(text);
    };
    for (int i = 0; i < kFiles; ++i) dir.Write(name(i), "Song " + std::to_string(i));
    const std::size_t threads = ThreadCount();
    bool changed = false;
    const TRun run = RunWithTestPlugin({"--no-journal", "-p", "*title*", dir.Path()}, "", -1, {}, [&](const std::string&) {
        if (changed) return;
        changed = true;
        ::unlink(dir.File(name(kFiles - 2)).c_str());
        ::unlink(dir.File(name(kFiles - 1)).c_str());
        ::mkfifo(dir.File(name(kFiles - 1)).c_str(), 0600);
    });
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, name(kFiles - 2) + ": cannot read: No such file or directory; left alone")) << run.err;
    EXPECT_TRUE(Has(run.out, "300 seen, 298 renamed, 1 unchanged, 1 failed")) << run.out;
    EXPECT_EQ(Names(dir.Path()).size(), static_cast<std::size_t>(kFiles - 1));

    // A preview, and a run whose output breaks part-way.
    EXPECT_EQ(RunWithTestPlugin({"-n", "-p", "*title*", dir.Path()}).status, 0);
    EXPECT_EQ(ThreadCount(), threads);
    const TRun broken = RunWithTestPlugin({"--no-journal", "-p", "x *title*", dir.Path()}, "", 3);
    EXPECT_EQ(broken.status, 1);
    EXPECT_TRUE(Has(broken.err, "cannot write to standard output")) << broken.err;
    EXPECT_EQ(ThreadCount(), threads);
}

// Names from an old disc or another system, in an 8-bit code page: left
// alone, and said to be what they are, not beyond Windows-1251.
TEST(RunPosix, NamesThatAreNotUtf8SayWhatTheySeemToBe) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\xCF\xE5\xF1\xED\xFF", "Windows-1251"},  // "Песня" in each
        {"\xF0\xC5\xD3\xCE\xD1", "KOI8-R"},
        {"\x8F\xA5\xE1\xAD\xEF", "CP866"},
        {"Bj\xF6rk", "Windows-1252"},
    };
    TScratch dir;
    for (const auto& [name, encoding] : cases) {
        SCOPED_TRACE(encoding);
        dir.Write(name + ".mp3", "Title");
        const TRun run = RunWithTestPlugin({"--no-journal", "-p", "*title*", dir.File(name + ".mp3")});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(Has(run.err, name + ".mp3: the name is not UTF-8 (its bytes seem to be " + encoding + "); left alone"))
            << run.err;
        EXPECT_EQ(Read(dir.File(name + ".mp3")), "Title");
    }
}

// Links and a pipe are reported, never opened (a pipe's open would wait for a
// writer for ever), and are no failures. Entries the listing cannot tell are
// looked at all at once when there are many; each is still told apart and
// reported in name order.
TEST(RunPosix, LinksAndPipesAreReportedInOrderNotOpened) {
    TScratch dir;
    const std::string target = dir.Write("target.mp3", "Target");
    std::string expected;
    for (int i = 0; i < 24; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "l%02d.mp3", i);
        const bool dangling = i % 3 == 0;
        ASSERT_EQ(::symlink(dangling ? dir.File("none").c_str() : target.c_str(), dir.File(name).c_str()), 0);
        expected += "pelmora: " + dir.File(name) + (dangling ? ": a link to nothing; skipped\n" : ": a symbolic link, left alone; skipped\n");
    }
    ASSERT_EQ(::mkfifo(dir.File("pipe.mp3").c_str(), 0600), 0);
    expected += "pelmora: " + dir.File("pipe.mp3") + ": not a regular file; skipped\n";
    // Named twice: each entry is still reported once.
    const TRun run = RunWithTestPlugin({"--no-journal", "-p", "*title*", dir.Path(), dir.Path()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, expected);
    EXPECT_TRUE(Has(run.out, "1 seen, 1 renamed, 0 unchanged, 0 failed, 25 skipped")) << run.out;
    EXPECT_EQ(Names(dir.Path()).size(), 26u);
    EXPECT_EQ(Read(dir.File("Target.mp3")), "Target");
}

TEST(RunPosix, RecursionDoesNotFollowLinkedFolders) {
    TScratch dir;
    const std::string inner = dir.Folder("inner");
    dir.Write("inner/a.mp3", "Alpha");
    ASSERT_EQ(::symlink(dir.Path().c_str(), (inner + "/loop").c_str()), 0);
    const TRun run = RunWithTestPlugin({"--no-journal", "-r", "-p", "*title*", dir.Path()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "1 seen, 1 renamed")) << run.out;
}

}  // namespace

// A journal another process writes is left to it (on Windows it shares the
// file for reading only): two runs each writing at its own end would write
// over each other's lines, and undo would lose the renames of one.
TEST(RunPosix, JournalAnotherProcessWritesIsLeftToIt) {
    TScratch dir, state;
    dir.Write("a.mp3", "Alpha");
    const std::string journal = state.File("shared.journal");
    ASSERT_EQ(RunWithTestPlugin({"--journal", journal, "-p", "*title*", dir.Path()}).status, 0);
    const std::string before = Read(journal);
    const int writer = ::open(journal.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::flock(writer, LOCK_EX | LOCK_NB), 0);
    dir.Write("b.mp3", "Beta");
    const TRun second = RunWithTestPlugin({"--journal", journal, "-p", "*title*", dir.Path()});
    ::close(writer);
    EXPECT_EQ(second.status, 1);
    EXPECT_TRUE(Has(second.err, "cannot write the journal " + journal + ": another process is writing it")) << second.err;
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> {"Alpha.mp3", "b.mp3"}));
    EXPECT_EQ(Read(journal), before);
}

// A journal names what the system renamed: "lnk/.." is the folder above the
// link's target, not the current folder, and undo moves back only the file
// the run renamed. Two folders' files may so take one name: judged by the
// spelling, both would be in one folder.
TEST(RunPosix, JournalFollowsTheSystemNotTheSpelling) {
    TScratch dir, state;
    dir.Folder("real");
    dir.Folder("real/deep");
    ASSERT_EQ(::symlink(dir.File("real/deep").c_str(), dir.File("lnk").c_str()), 0);
    dir.Write("real/x.mp3", "Deep - Song");
    dir.Write("Deep - Song.mp3", "unrelated");
    dir.Write("x.mp3", "Deep - Song");
    const std::string spelled = dir.File("lnk/../x.mp3");

    const TRun both = RunWithTestPlugin({"-n", "-p", "*title* 2", spelled, dir.File("x.mp3")});
    EXPECT_TRUE(Has(both.out, "2 seen, 2 to rename")) << "two files, however alike their spellings: " << both.out;

    const std::string journal = state.File("run.journal");
    ASSERT_EQ(RunWithTestPlugin({"--journal", journal, "-p", "*title*", spelled}).status, 0);
    EXPECT_EQ(Names(dir.File("real")), (std::vector<std::string> {"Deep - Song.mp3", "deep"}));
    EXPECT_TRUE(Has(Read(journal), "renamed\t" + dir.File("real/x.mp3") + "\t" + dir.File("real/Deep - Song.mp3")))
        << Read(journal);
    const TRun undo = RunWithTestPlugin({"--undo", journal});
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_EQ(Read(dir.File("real/x.mp3")), "Deep - Song");
    EXPECT_EQ(Read(dir.File("Deep - Song.mp3")), "unrelated");
    EXPECT_EQ(Read(dir.File("x.mp3")), "Deep - Song");

    // A file put at the new name after the run is not the one the run renamed.
    const std::string again = state.File("again.journal");
    ASSERT_EQ(RunWithTestPlugin({"--journal", again, "-p", "*title*", dir.File("real/x.mp3")}).status, 0);
    ASSERT_EQ(::unlink(dir.File("real/Deep - Song.mp3").c_str()), 0);
    dir.Write("real/Deep - Song.mp3", "a newcomer");
    const TRun changed = RunWithTestPlugin({"--undo", again});
    EXPECT_EQ(changed.status, 1);
    EXPECT_TRUE(Has(changed.err, dir.File("real/Deep - Song.mp3") + ": changed since the run; left alone")) << changed.err;
    EXPECT_EQ(Names(dir.File("real")), (std::vector<std::string> {"Deep - Song.mp3", "deep"}));
}

TEST(RunPosix, NameKeysAreNormalAbsolutePaths) {
    const std::pair<const char*, const char*> cases[] = {
        {"/m/a.mp3", "/m/a.mp3"},        {"/m/./a.mp3", "/m/a.mp3"},    {"/m/x/../a.mp3", "/m/a.mp3"},
        {"/m//a.mp3", "/m/a.mp3"},       {"/m/a/", "/m/a"},             {"/m/.", "/m"},
        {"/m/..", "/"},                  {"/.hidden/a.mp3", "/.hidden/a.mp3"},
        {"/m/.../a.mp3", "/m/.../a.mp3"}, {"/m/..a/a.mp3", "/m/..a/a.mp3"}, {"/", "/"},
    };
    for (const auto& [path, key] : cases) EXPECT_EQ(host::NameKey(path), key) << path;
}
