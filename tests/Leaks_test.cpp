// Nothing stays behind and nothing grows out of proportion: 10,000 process
// calls and a thousand records leave the open handles, the heap and (in the
// Windows build) the GDI objects where they were, and LeakSanitizer, where it runs, finds nothing;
// the engine's allocations for tags of many tiny or very large frames stay
// bounded. To see every allocation this file replaces the global operator
// new and delete; they only count and hand on to malloc and free.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "AudioWriter.h"
#include "FaultySource.h"
#include "MPEGaudio.h"
#include "NameBuilder.h"
#include "PluginTest.h"
#include "TagWriter.h"
#include "TestFiles.h"

#include <malloc.h>

// posix/Leaks_posix.cpp and win32/Leaks_win32.cpp.
namespace leak_probe {
std::int64_t OpenHandles();
std::int64_t GdiObjects();  // -1 where there are none
std::int64_t HeapInUse();   // -1 where it cannot be told
bool NoLeakFound();         // true where LeakSanitizer does not run
}  // namespace leak_probe

namespace {

std::atomic<bool> counting{false};
std::atomic<std::uint64_t> allocatedBytes{0};
std::atomic<std::int64_t> liveBytes{0};
std::atomic<std::int64_t> peakLiveBytes{0};

std::size_t UsableSize(void* p) {
#ifdef _WIN32
    return _msize(p);
#else
    return malloc_usable_size(p);
#endif
}

void* Allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) return nullptr;
    if (counting.load(std::memory_order_relaxed)) {
        const auto usable = static_cast<std::int64_t>(UsableSize(p));
        allocatedBytes += static_cast<std::uint64_t>(usable);
        const std::int64_t live = liveBytes += usable;
        for (std::int64_t peak = peakLiveBytes.load(); live > peak && !peakLiveBytes.compare_exchange_weak(peak, live);) {
        }
    }
    return p;
}

void Release(void* p) {
    if (p == nullptr) return;
    if (counting.load(std::memory_order_relaxed)) liveBytes -= static_cast<std::int64_t>(UsableSize(p));
    std::free(p);
}

}  // namespace

void* operator new(std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

using namespace testing_support;

namespace {

struct Allocations {
    std::uint64_t total = 0;  // every allocation, freed or not
    std::int64_t peak = 0;    // the most held at once
};

template <typename F>
Allocations Measure(F f) {
    allocatedBytes = 0;
    liveBytes = 0;
    peakLiveBytes = 0;
    counting = true;
    f();
    counting = false;
    return {allocatedBytes.load(), peakLiveBytes.load()};
}

constexpr std::int64_t kMiB = 1024 * 1024;
const Bytes kAudio = CbrAudio(20);

std::string NewPath(const std::string& path, const char* pattern, Allocations& a) {
    std::string newPath;
    a = Measure([&] { EXPECT_TRUE(pelmora::BuildNewPath(path, path, pattern, pelmora::TTagSource::ID3v2, newPath)); });
    return newPath;
}

// 60,000 frames of no or one data byte, known ids and unknown, between an
// album and a title: they cost their bytes, not a block each (64 KB in 2.3
// and 2.4, 500 bytes in 2.2), in memory and in bytes read.
TEST(BoundedWork, ManyTinyFramesCostNoBlockEach) {
    for (std::uint8_t version : std::initializer_list<std::uint8_t>{2, 3, 4}) {
        SCOPED_TRACE(testing::Message() << "version " << int{version});
        const bool v22 = version == 2;
        ID3v2Writer writer(version);
        writer.Text(v22 ? "TAL" : "TALB", 0, Latin("Kept"));
        for (std::size_t i = 0; i < 60000; ++i) {
            if (i % 3 == 0) writer.Frame(v22 ? "TT2" : "TIT2", {});
            if (i % 3 == 1) writer.Frame(v22 ? "TP1" : "TPE1", {0});
            if (i % 3 == 2) writer.Frame(v22 ? "TXX" : "TXXX", {});
        }
        writer.Text(v22 ? "TT2" : "TIT2", 0, Latin("Last"));
        const Bytes file = Concat({writer.Build(), kAudio});
        TempDir dir;
        const std::string path = dir.Write("x.mp3", file);
        TMPEGaudio audio;
        const Allocations load = Measure([&] { ASSERT_TRUE(audio.LoadFromFile(path.c_str())); });
        EXPECT_EQ(audio.ID3v2Tag.Title, "Last");
        EXPECT_EQ(audio.ID3v2Tag.Album, "Kept");
        FaultySource source(file);
        ASSERT_TRUE(audio.LoadFromSource(source));
        EXPECT_LE(source.bytesRequested, 2 * file.size());
        Allocations build;
        EXPECT_EQ(NewPath(path, "*title* *bitrate*", build), dir.File("Last 128.mp3"));
        for (const Allocations& a : {load, build}) {
            EXPECT_LT(a.total, static_cast<std::uint64_t>(2 * kMiB));
            EXPECT_LT(a.peak, 1 * kMiB);
        }
    }
}

// Every slot filled with the largest block, twice over, and a picture.
TEST(BoundedWork, LargestFramesStayWithinTheMemoryBound) {
    ID3v2Writer writer(3);
    for (int round = 0; round < 2; ++round) {
        for (std::string_view id : id3v2::FrameIdsV23) {
            Bytes data(70000, 'a');
            data[0] = 1;  // 16-bit text: the largest decoded strings
            writer.Frame(id, data);
        }
    }
    TempDir dir;
    const std::string path = dir.Write("x.mp3", Concat({writer.Build(), kAudio}));
    TMPEGaudio audio;
    const Allocations a = Measure([&] { ASSERT_TRUE(audio.LoadFromFile(path.c_str())); });
    EXPECT_FALSE(audio.ID3v2Tag.Title.empty());
    ASSERT_NE(audio.ID3v2Tag.Picture, nullptr);
    EXPECT_LT(a.peak, 16 * kMiB);
    EXPECT_GT(a.peak, static_cast<std::int64_t>(id3v2::kSlotCount * id3v2::kBlockLengthV23 / 2));  // the count sees them
}

// Values holding later placeholders could multiply the name at every step: a
// name past any limit is never made, and the file keeps its name.
TEST(BoundedWork, PlaceholdersInsideTagValuesCannotMultiplyTheName) {
    auto repeated = [](const std::string& text, std::size_t count) {
        std::string out;
        for (std::size_t i = 0; i < count; ++i) out += text;
        return out;
    };
    struct Case {
        const char* name;
        std::string title, album, year, newName;  // newName empty: kept
    };
    const Case cases[] = {
        {"a cascade that stays small", "*album* *album*", "*year*!", "1999", "1999! 1999!.mp3"},
        {"3 MB in one step", repeated("*album*", 600), std::string(5000, 'a'), "", ""},
        {"90 GB in two steps", repeated("*album*", 9000), repeated("*year*", 10000), std::string(1000, 'y'), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.Write("x.mp3", Concat({ID3v2Writer(3).Text("TIT2", 0, Latin(c.title))
                                                                .Text("TALB", 0, Latin(c.album))
                                                                .Text("TYER", 0, Latin(c.year)).Build(),
                                                            kAudio}));
        Allocations a;
        EXPECT_EQ(NewPath(path, "*title*", a), c.newName.empty() ? path : dir.File(c.newName));
        EXPECT_LT(a.peak, 16 * kMiB);
    }
}

using Leaks = PluginTest;

// Files of every kind the analysis meets, good and bad, processed with each
// pattern and tag source in turn; a tenth of the calls rename a file back and forth.
TEST_F(Leaks, TenThousandProcessCallsLeaveNothingBehind) {
    TempDir dir;
    FrameFields mono = MpegFields(2, 1, 9, 0, false, 3);
    Bytes vbri = Frame(kCbr128);
    PutVbri(vbri, VbrHeaderOffset(kCbr128), 418000, 1000, 50);
    std::vector<std::string> paths = {
        dir.Write("v23.mp3", Concat({ID3v2Writer(3).Text("TIT2", 0, Latin("Title"))
                                         .Text("TPE1", 1, Utf16LE(u"Artist", true)).Text("TRCK", 0, Latin("3/9"))
                                         .Frame("COMM", CommentData(0, {}, Latin("Comment"))).Build(),
                                     kAudio, ID3v1Tag(ID3v1Fields().Title("T1").Artist("A1").Track(2))})),
        dir.Write("v24.mp3", Concat({ID3v2Writer(4, id3v2::kFlagFooter)
                                         .Text("TIT2", 3, Latin("\xD0\x97\xD0\xB2\xD0\xB5"))
                                         .Text("TPE1", 2, Utf16BE(u"Big")).Build(),
                                     XingFrame(kCbr128, 1000, 418000), kAudio})),
        dir.Write("v22.mp3", Concat({ID3v2Writer(2).Text("TT2", 0, Latin("Two")).Build(), vbri, kAudio})),
        dir.Write("picture.MP3", Concat({ID3v2Writer(3).Text("TIT2", 0, Latin("P")).Frame("APIC", Bytes(70000, 7)).Build(),
                                         Stream(mono, 30)})),
        dir.Write("empty.mp3", {}),
        dir.Write("short.mp3", Latin("ID3\3\0\0\0\0")),
        dir.Write("noaudio.mp3", Bytes(20000, 0x55)),
        dir.Write("hostile.mp3",
                  Concat({ID3v2Writer(3, id3v2::kFlagExtendedHeader).Raw({0xFF, 0xFF, 0xFF, 0xFF}).Build(), kAudio})),
        dir.Write("sizes.mp3", Concat({ID3v2Writer(4).RawFrame("TIT2", {0xFF, 0xFF, 0xFF, 0xFF}, {0}).Build(), kAudio})),
        dir.File("missing.mp3"),
        dir.Write("other.wav", kAudio),
        dir.File("folder.mp3"),
    };
    MakeDir(dir.File("folder.mp3"));
    // Copies: a fault that renames in preview must not reach the shared files.
    for (std::string shared : SharedTestFiles()) {
        const Bytes bytes = Contents(SharedPath(shared));
        std::replace(shared.begin(), shared.end(), '/', '_');
        paths.push_back(dir.Write(shared, bytes));
    }
    const std::string patterns[] = {"*artist* - *title*", "*track*. *title* [*bitrate* *sample* *mode* *time*]",
                                    "*filename* *album* *year* *genre* *comment*",
                                    std::string(247, 'p') + "*bitrate*"};  // all 256 bytes
    const std::int32_t sources[] = {0, 1, 2, -1};

    // ID3v2 says A - B, ID3v1 says C - D: each rename swaps the name.
    std::string moving = dir.Write("toggle.mp3", TaggedFileWithID3v1());
    int swaps = 0;
    auto run = [&](std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            if (i % 10 == 5) {  // a host's records come and go as well
                PluginOptions* record = nullptr;
                plugin.newOpt(&record);
                plugin.freeOpt(record);
            }
            if (i % 10 == 0) {
                SetPattern("*artist* - *title*", swaps++ % 2);
                moving = Process(moving, false);
            } else {
                const std::size_t file = i / 4 % paths.size(), k = i % 4;
                SetPattern(patterns[(file + k) % 4], sources[(file + 2 * k) % 4]);
                Process(paths[file], true);
            }
        }
    };
    run(paths.size() * 40);  // fills whatever is filled once
    const std::int64_t handles = leak_probe::OpenHandles();
    const std::int64_t gdi = leak_probe::GdiObjects();
    const std::int64_t heap = leak_probe::HeapInUse();
    const int swapsBefore = swaps;
    run(10000);
    EXPECT_EQ(swaps - swapsBefore, 1000);
    EXPECT_EQ(moving, dir.File(swaps % 2 == 1 ? "A - B.mp3" : "C - D.mp3"));
    EXPECT_TRUE(FileExists(moving));
    EXPECT_EQ(leak_probe::OpenHandles(), handles);
    EXPECT_EQ(leak_probe::GdiObjects(), gdi);
    if (heap >= 0) {
        EXPECT_LT(leak_probe::HeapInUse() - heap, 64 * 1024);  // a small block a call would be 160 KB or more
    }
    EXPECT_TRUE(leak_probe::NoLeakFound());
}

}  // namespace
