// What a worker thread of the run needs from the system: files opened from
// the folder the run began in, read-only and shared every way, and signals
// left to the run's own thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#ifndef _WIN32
#include <signal.h>
#endif

namespace host {

// The working folder when this was made: the run's thread may stand in
// another for a moment (TWorkingFolder) while workers open relative paths.
class TBaseFolder {
public:
    TBaseFolder();
    ~TBaseFolder();
    TBaseFolder(const TBaseFolder&) = delete;
    TBaseFolder& operator=(const TBaseFolder&) = delete;

private:
    friend class TWorkerFile;
#ifdef _WIN32
    std::wstring path_;  // empty when it cannot be told: relative paths are not opened then
#else
    int fd_ = -1;
#endif
};

// A regular file read by a worker: read-only and shared every way, so that
// the run's own open or move never fails because a worker holds it, and
// opened without waiting, so that a pipe in a file's place cannot block.
class TWorkerFile {
public:
    TWorkerFile() = default;
    ~TWorkerFile() { Close(); }
    TWorkerFile(const TWorkerFile&) = delete;
    TWorkerFile& operator=(const TWorkerFile&) = delete;

    bool Open(const TBaseFolder& base, const std::string& path);
    std::int64_t Size() const { return size_; }
    // The bytes read at offset, fewer than count only at the end; 0 on failure.
    std::size_t ReadAt(std::int64_t offset, char* buffer, std::size_t count);
    // Whether the system holds these bytes in its cache (read without waiting
    // for the disk); false where it cannot tell.
    bool InCache(std::int64_t offset, char* buffer, std::size_t count);
    void Close();

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    std::int64_t size_ = 0;
};

// Lowers the calling thread below the run's own, which every file waits for,
// so that on few cores the workers never keep it from one (unchanged where refused).
void LowerThreadPriority();

// Every signal held back from the threads started while this lives (they
// inherit the mask), so that an interrupt always reaches the run's own thread.
// Windows needs none: a console interrupt arrives in a thread of its own.
class TSignalsHeld {
public:
    TSignalsHeld();
    ~TSignalsHeld();
    TSignalsHeld(const TSignalsHeld&) = delete;
    TSignalsHeld& operator=(const TSignalsHeld&) = delete;

private:
#ifndef _WIN32
    sigset_t saved_ {};
    bool held_ = false;
#endif
};

}  // namespace host
