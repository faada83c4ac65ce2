// The console: standard output and error as the command writes them.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "Context.h"

namespace host {

constexpr const char* kProgram = "pelmora";

// Standard output and error, with a progress line on a terminal that any
// other line clears first. Control characters in the text are shown escaped,
// so that every line printed is one line. Output that cannot be written makes
// the console broken for good, and the run stops at the next file.
class TConsole {
public:
    explicit TConsole(const THostContext& context) : context_(context) {}
    ~TConsole() { Flush(); }
    TConsole(const TConsole&) = delete;
    TConsole& operator=(const TConsole&) = delete;
    void Out(const std::string& text);
    // Standard output gathered and written in pieces of some kilobytes (and at
    // least every fifth of a second), for a run that changes nothing on disk:
    // a write per line would cost more than the line. A failed write is seen
    // at the next piece; Flush writes what is gathered, and Err and Progress
    // flush first, so the two streams keep their order.
    void Gather() { gather_ = true; }
    void Flush();
    // "pelmora: text" on a line of its own.
    void Err(const std::string& text);
    // Only standard output tells that its reader is gone: a standard error that
    // fails (closed, a full disk) never stops a run.
    bool Broken() const { return outBroken_; }
    // Shown once the run has taken a second, and no more often than five times a second.
    void Progress(std::size_t done, std::size_t total);
    void ClearProgress();

private:
    const THostContext& context_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_ {};
    std::size_t width_ = 0;
    bool shown_ = false;
    bool gather_ = false;
    std::string pending_;
    std::chrono::steady_clock::time_point flushed_ = start_;
    bool outBroken_ = false;
    bool errBroken_ = false;
};

}  // namespace host
