// What the command tells its user: the console with its progress line, and
// the reporter that a run calls once per file and once for its summary.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "HostCore.h"

namespace host {

constexpr const char* kProgram = "pelmora";

// Standard output and error, with a progress line on a terminal that any
// other line clears first. Control characters in the text are shown escaped,
// so that every line printed is one line. A text that cannot be written makes
// the console broken for good, and the run stops at the next file.
class TConsole {
public:
    explicit TConsole(const THostContext& context) : context_(context) {}
    ~TConsole() { Flush(); }
    TConsole(const TConsole&) = delete;
    TConsole& operator=(const TConsole&) = delete;
    bool Out(const std::string& text);
    // Standard output gathered and written in pieces of some kilobytes (and at
    // least every fifth of a second), for a run that changes nothing on disk:
    // a write per line would cost more than the line. A failed write is seen
    // at the next piece; Flush writes what is gathered, and Err and Progress
    // flush first, so the two streams keep their order.
    void Gather() { gather_ = true; }
    bool Flush();
    // "pelmora: text" on a line of its own.
    bool Err(const std::string& text);
    bool Broken() const { return outBroken_ || errBroken_; }
    const char* BrokenStream() const { return outBroken_ ? "standard output" : "standard error"; }
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

// What became of one file of a run.
enum class TFileResult {
    Renamed,    // real run: moved to newPath
    ToRename,   // preview: a real run would move it
    WouldStay,  // preview: a real run would leave it (the marks say why)
    Unchanged,  // the plug-in keeps its name
    Failed,     // not renamed, or not examined; counts as a failure
    Skipped,    // left alone on purpose; not a failure
};

struct TFileReport {
    std::string path;     // as the run names it
    std::string newPath;  // the plug-in's new name; empty when it gave none
    TFileResult result = TFileResult::Unchanged;
    std::vector<std::string> marks;  // the preview's marks
    std::string reason;              // why it failed or was skipped
};

struct TCounts {
    std::size_t seen = 0, renamed = 0, unchanged = 0, failed = 0, stays = 0, refused = 0, skipped = 0;
};

struct TRunSummary {
    TCounts counts;
    bool dryRun = false;
    std::string journalPath;  // empty when the run kept none
    // Why the run stopped before its end ("cannot write to standard output"),
    // after how many of its files; empty when it ran to the end.
    std::string stopped;
    std::size_t filesDone = 0, filesTotal = 0;
    bool noJournal = false;  // --no-journal: none was meant to be kept
};

// The run's output. The run decides what happened; the reporter only tells it.
class TRunReporter {
public:
    virtual ~TRunReporter() = default;
    virtual void File(const TFileReport& report) = 0;
    virtual void Summary(const TRunSummary& summary) = 0;
};

// For people: "old -> new  [marks]" on standard output, failures on standard
// error, the counts last. For scripts (json): one JSON object a line on
// standard output, {"type":"file",...} per file and {"type":"summary",...}
// last. Quiet: only what failed (or, previewing, would stay) and the summary.
std::unique_ptr<TRunReporter> MakeReporter(TConsole& console, bool json, bool quiet);

// A JSON string: UTF-8 kept, control characters escaped, and a byte that is
// not UTF-8 as the lone surrogate \udcXX, so that any file name survives.
std::string JsonString(const std::string& text);

// The marks as the text output appends them: "  [one; two]"; empty without marks.
std::string MarksText(const std::vector<std::string>& marks);

}  // namespace host
