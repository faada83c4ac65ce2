// Read-ahead for a run.
#include "ReadAhead.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>

namespace host {

namespace {

// How many workers read ahead and how far. Measured cold over the 10,000-file
// library, the command's preview against the floor from 16 threads: 16
// workers 64 files ahead 1.2-2.2x, 8 and 32 1.9-2.6x, 16 and 32 2.7-4.6x (too
// short a reach for so many), 4 and 64 2.0-2.2x. On a later machine, whose
// disk answers more requests at once than 16 threads ask: 16 and 64 1.23x
// (64.3 µs a file), 32 and 256 1.16x (57.8), 48 and 256 1.16x, 64 and 512
// 1.17x; through a share 32 and 256 took 1,073 µs a file against 1,091.
constexpr std::size_t kThreads = 32;
constexpr std::size_t kDistance = 256;
// Fewer files than this: starting the workers costs more than they save.
constexpr std::size_t kLeastFiles = 16;
// Files spread over the run whose start and end the system is asked about
// first: where it holds them all, the workers are not started. Warm, starting
// them and reading ahead until the choice below paused them cost the preview
// 1.2 µs a file of 12.6 (10,000 files).
constexpr std::size_t kCacheSamples = 16;

// While reading ahead, one file in kControlEvery the plug-in reads unaided
// (each costs a wait for the disk, so they are rare), and the run's turns on
// the two kinds tell whether reading ahead pays, so the choice follows the
// library, the disk and the system: it stops when unaided turns take hardly
// longer than the others (kPaysNot), where the files come from the cache
// anyway, and starts again when unaided turns come to take kPays times as
// long as the read-ahead ones took (a file from the disk costs several times
// one from the cache, even where every turn makes a round trip of its own to
// a share). Warm, reading every file ahead took the preview 1.8x its time
// without (44 µs a file against 25, the workers' opens and wake-ups on a
// shared machine); having the workers read one file in 32 to compare,
// 1.11x; comparing with the turns read ahead before the pause, 1.05x (157 ms
// against 149, medians of 25 alternated runs).
constexpr std::size_t kControlEvery = 128;
constexpr double kPays = 1.5;
constexpr double kPaysNot = 1.2;
// And by at least this much: warm, a file a worker has just read is a few
// microseconds quicker for the plug-in (its name and pages just touched; 10
// µs a turn against 16-27), which alone flipped the workers on and off all
// through a warm run and cost it 1.3x its time without them; cold, a turn
// waits 130 µs more for the disk.
constexpr long long kPaysAtLeastNs = 30'000;
constexpr std::size_t kLeastTurns = 5;  // of each kind before the choice changes
// Where turns swing widely for reasons of their own, the choice swung with
// them: under Wine on one CPU (every file call a round trip to its one
// server, and a worker's read taking the CPU from the run's turn) a warm
// 10,000-file preview started reading ahead 28 times and took 3.6 s against
// 1.2 s without; with two restarts at most, 1.11-1.21 s in five runs.
constexpr std::size_t kMostRestarts = 2;

// What the plug-in reads, with room to spare, in the page-sized steps the
// system caches anyway: the start of the file (the ID3v2 header, and for
// most files the whole tag and the first audio after it), the rest of a
// larger tag and the first audio after it (a 3458-byte block), and the end
// (the ID3v1 tag and the block before it). The whole tag, since the frames
// the plug-in reads after a picture lie anywhere in it: reading only the
// start and the end of the tag left them cold (85 µs a file against 42).
constexpr std::size_t kFirstRead = 8 * 1024;
constexpr std::size_t kAudioAfterTag = 4 * 1024;
constexpr std::size_t kTailRead = 4 * 1024;
// Of a tag larger than this (a huge picture, millions of frames), only the
// start and this much before the audio.
constexpr std::int64_t kMostTagRead = 256 * 1024;
constexpr std::size_t kBufferSize = 64 * 1024;

// Where the audio starts as a plausible ID3v2 header tells it ("ID3", a
// version, flags, four 7-bit size bytes, a footer when flagged); 0 when the
// file does not begin with one.
std::int64_t TagEnd(const char* bytes, std::size_t count) {
    constexpr std::size_t kHeader = 10, kSizeAt = 6, kFlagsAt = 5;
    constexpr unsigned kBitsPerSizeByte = 7;
    constexpr unsigned char kFooterFlag = 0x10, kHighBit = 0x80, kNoVersion = 0xFF;
    if (count < kHeader || std::memcmp(bytes, "ID3", 3) != 0) return 0;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    if (b[3] == kNoVersion || b[4] == kNoVersion) return 0;
    std::int64_t size = 0;
    for (std::size_t i = kSizeAt; i < kHeader; ++i) {
        if ((b[i] & kHighBit) != 0) return 0;
        size = (size << kBitsPerSizeByte) | b[i];
    }
    const std::int64_t footer = (b[kFlagsAt] & kFooterFlag) != 0 ? static_cast<std::int64_t>(kHeader) : 0;
    return static_cast<std::int64_t>(kHeader) + size + footer;
}

}  // namespace

std::vector<TEntryInfo> ExamineAtOnce(const std::vector<std::string>& paths) {
    std::vector<TEntryInfo> infos(paths.size());
    std::vector<char> examined(paths.size(), 0);
    if (paths.size() >= kLeastFiles) {
        std::atomic<std::size_t> next {0};
        const auto work = [&] {
            for (std::size_t i; (i = next.fetch_add(1)) < paths.size();) {
                try {
                    infos[i] = Examine(paths[i]);
                    examined[i] = 1;
                } catch (const std::exception&) {
                    // No room for the reason: the calling thread asks again.
                }
            }
        };
        std::vector<std::thread> threads;
        {
            const TSignalsHeld held;
            try {
                for (std::size_t t = 0; t < kThreads; ++t) threads.emplace_back(work);
            } catch (const std::exception&) {
                // Fewer threads, or none: the calling thread does the rest.
            }
        }
        for (std::thread& thread : threads) thread.join();
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!examined[i]) infos[i] = Examine(paths[i]);
    }
    return infos;
}

long long TReadAheadChoice::TTurns::Median() const {
    auto sorted = last;
    const std::size_t n = std::min(count, sorted.size());
    std::sort(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(n));
    return sorted[n / 2];
}

void TReadAheadChoice::Learn(bool readAhead, long long ns) {
    // Paused, the read turns stay those of before the pause.
    if (readAhead && paused_) return;
    (readAhead ? readTurns_ : unreadTurns_).Add(ns);
    if (readTurns_.count < kLeastTurns || unreadTurns_.count < kLeastTurns) return;
    const long long unread = unreadTurns_.Median(), read = readTurns_.Median();
    const double ratio = static_cast<double>(unread) / static_cast<double>(std::max(1LL, read));
    const bool pays = ratio > kPays && unread - read >= kPaysAtLeastNs;
    if (paused_ ? !pays || restarts_ == kMostRestarts : ratio >= kPaysNot) return;
    if (paused_) {
        ++restarts_;
        readTurns_ = TTurns {};
    }
    paused_ = !paused_;
    unreadTurns_ = TTurns {};
}

TReadAhead::TReadAhead(const std::vector<TCollected>& files, bool on, bool cachedToo)
    : files_(files), waitedFor_(files.size()), states_(files.size(), TState::Untouched) {
    if (!on || files.size() < kLeastFiles || (!cachedToo && InCache())) return;
    limit_ = std::min(files.size(), kDistance);
    const TSignalsHeld held;  // the workers never take a signal meant for the run
    try {
        for (std::size_t t = 0; t < kThreads; ++t) workers_.emplace_back([this] { work(); });
    } catch (const std::exception&) {
        // The system gave fewer threads: those that started do the work.
    }
}

bool TReadAhead::InCache() const {
    std::vector<char> buffer(kTailRead);
    TWorkerFile file;
    for (std::size_t i = 0; i < kCacheSamples; ++i) {
        const std::size_t index = i * files_.size() / kCacheSamples;
        if (!file.Open(base_, files_[index].path)) return false;
        const std::int64_t size = file.Size();
        const auto tail = std::max<std::int64_t>(0, size - static_cast<std::int64_t>(kTailRead));
        if (!file.InCache(0, buffer.data(), buffer.size()) || !file.InCache(tail, buffer.data(), buffer.size())) return false;
    }
    return true;
}

bool TReadAhead::wanted(std::size_t index) const {
    if (choice_.Paused()) return false;
    return index % kControlEvery != kControlEvery - 1;
}

bool TReadAhead::available() {
    while (next_ < limit_ && !wanted(next_)) ++next_;
    return next_ < limit_;
}

void TReadAhead::Reach(std::size_t index) {
    if (workers_.empty() || index >= files_.size()) return;
    const TClock::time_point now = TClock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    // The turn before this one, as long as the run gave it.
    if (started_) choice_.Learn(lastReadAhead_, std::chrono::duration_cast<std::chrono::nanoseconds>(now - lastStart_).count());
    // A worker is woken only where none had a file to take: the workers wake
    // one another while there are more. Waking one every turn for nothing cost
    // a warm preview 1.3x its time without read-ahead (20-23 µs a file against 15).
    const bool had = available();
    // Files no worker has begun are the plug-in's to read now.
    next_ = std::max(next_, index + 1);
    limit_ = std::max(limit_, std::min(files_.size(), index + 1 + kDistance));
    const bool more = !had && available();
    lastReadAhead_ = states_[index] != TState::Untouched;
    if (states_[index] == TState::Reading) {
        waitedFor_ = index;
        done_.wait(lock, [&] { return states_[index] != TState::Reading; });
        waitedFor_ = files_.size();
    }
    lock.unlock();
    // A worker told of the file this turn frees tells the next one if more are free.
    if (more) more_.notify_one();
    started_ = true;
    lastStart_ = TClock::now();
}

void TReadAhead::Stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    more_.notify_all();
    for (std::thread& worker : workers_) {
        if (worker.joinable()) worker.join();
    }
    workers_.clear();
}

void TReadAhead::work() {
    // Cold, the run's thread is the one every file waits for: on two cores,
    // with the workers below it, the 10,000-file preview took 0.76 s against
    // 0.89 (median of 8 runs each, alternated), 0.93 against 1.11 while
    // another program kept both cores busy.
    LowerThreadPriority();
    std::vector<char> buffer;
    try {
        buffer.resize(kBufferSize);
    } catch (const std::exception&) {
        return;  // no room: the other workers do the work
    }
    TWorkerFile file;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        more_.wait(lock, [this] { return available() || stop_; });
        if (stop_) return;
        const std::size_t index = next_++;
        states_[index] = TState::Reading;
        // Another worker may take the next file at once.
        if (next_ < limit_) more_.notify_one();
        lock.unlock();
        try {
            readAhead(files_[index].path, file, buffer);
        } catch (const std::exception&) {
            // No room for the path's system form: the plug-in reads this one itself.
        }
        file.Close();
        lock.lock();
        states_[index] = TState::Read;
        if (waitedFor_ == index) done_.notify_one();
    }
}

void TReadAhead::readAhead(const std::string& path, TWorkerFile& file, std::vector<char>& buffer) {
    if (!file.Open(base_, path)) return;
    const std::int64_t size = file.Size();
    const std::size_t got = file.ReadAt(0, buffer.data(), std::min(kFirstRead, buffer.size()));
    if (got == 0) return;
    const std::int64_t tagEnd = TagEnd(buffer.data(), got);
    // The rest of the tag up to the audio after it, or of a large one its end.
    const std::int64_t audioEnd = std::min(size, tagEnd + static_cast<std::int64_t>(kAudioAfterTag));
    std::int64_t at = std::max(static_cast<std::int64_t>(got), audioEnd - kMostTagRead);
    while (at < audioEnd) {
        const auto count = static_cast<std::size_t>(std::min<std::int64_t>(audioEnd - at, static_cast<std::int64_t>(buffer.size())));
        if (file.ReadAt(at, buffer.data(), count) != count) return;
        at += static_cast<std::int64_t>(count);
    }
    const std::int64_t tailStart = std::max(at, size - static_cast<std::int64_t>(kTailRead));
    if (tailStart < size) file.ReadAt(tailStart, buffer.data(), static_cast<std::size_t>(size - tailStart));
}

}  // namespace host
