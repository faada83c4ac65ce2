// Read-ahead for a run: while the plug-in handles one file, a few worker
// threads open the next ones and read the parts the plug-in will read (the
// start up to the first audio after the tag, and the end), so that its reads
// come from the system's cache instead of waiting for the disk file by file.
// Workers keep nothing of what they read, and a read-ahead that fails changes
// nothing: the plug-in then reads as it would without. Where the files come
// from the cache anyway, the workers rest, so that a warm run pays almost
// nothing for them.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Collect.h"
#include "Files.h"
#include "Worker.h"

namespace host {

// Each path as Examine tells it, asked from several threads at once when
// there are many: where every look is a round trip (a share whose listings
// tell no kinds), the collector then waits about as long as for one look.
std::vector<TEntryInfo> ExamineAtOnce(const std::vector<std::string>& paths);

// Whether reading ahead pays, learnt from the run's turns as they come: it
// starts on, pauses once unaided turns take hardly longer than the others,
// and starts again when they come to take much longer than those did.
class TReadAheadChoice {
public:
    // A turn's time, told apart by whether the file had been read ahead.
    void Learn(bool readAhead, long long ns);
    bool Paused() const { return paused_; }

private:
    // The last few turns of one kind, in nanoseconds.
    struct TTurns {
        std::array<long long, 7> last {};
        std::size_t count = 0;
        void Add(long long ns) { last[count++ % last.size()] = ns; }
        long long Median() const;
    };

    TTurns readTurns_, unreadTurns_;
    bool paused_ = false;       // reading ahead does not pay: no file is read ahead
    std::size_t restarts_ = 0;  // of reading ahead, after it stopped paying
};

class TReadAhead {
public:
    // files: the run's, collected (regular files only); they stay put as long
    // as this lives. No thread starts when off, when the run is too short to
    // gain from one, or (unless cachedToo) when the files are in the cache.
    TReadAhead(const std::vector<TCollected>& files, bool on, bool cachedToo = false);
    ~TReadAhead() { Stop(); }
    TReadAhead(const TReadAhead&) = delete;
    TReadAhead& operator=(const TReadAhead&) = delete;

    // File index's turn begins: returns once no worker holds it (one that has
    // not begun it never will), and lets the workers on to the files after it.
    void Reach(std::size_t index);
    // Stops the workers and waits for them; the run's files are left alone from then on.
    void Stop();
    std::size_t Threads() const { return workers_.size(); }

private:
    using TClock = std::chrono::steady_clock;
    enum class TState : unsigned char { Untouched, Reading, Read };

    // Whether the system holds the run's files in its cache already, as far as a few of them tell.
    bool InCache() const;
    void work();
    void readAhead(const std::string& path, TWorkerFile& file, std::vector<char>& buffer);
    // Whether the workers read this file, as things stand (under the lock).
    bool wanted(std::size_t index) const;
    // Whether a worker has a file to take, next_ moved past those not wanted (under the lock).
    bool available();

    const std::vector<TCollected>& files_;
    TBaseFolder base_;
    std::mutex mutex_;
    std::condition_variable more_;  // a file for the workers, or stop
    std::condition_variable done_;  // a file the run waits for is closed
    std::size_t next_ = 0;          // the first file no worker has taken or passed over
    std::size_t limit_ = 0;         // the workers take files before this one
    std::size_t waitedFor_;         // the file the run waits for, or none (files_.size())
    std::vector<TState> states_;    // by file
    TReadAheadChoice choice_;       // under the lock
    bool lastReadAhead_ = false;    // of the turn in progress
    TClock::time_point lastStart_;
    bool started_ = false;
    bool stop_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace host
