// What a run tells its user: the reporter that it calls once per file and
// once for its summary, as text or as JSON.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "Console.h"

namespace host {

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
    std::size_t foldersMade = 0, foldersRemoved = 0;
};

// A folder a run whose pattern names folders makes or removes (previewing:
// would make or remove), as the run names it.
struct TFolderReport {
    std::string path;
    bool made = false;  // else removed
    bool dryRun = false;
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
    bool folders = false;    // the pattern names folders: their counts are told
};

// The run's output. The run decides what happened; the reporter only tells it.
// For people: "old -> new  [marks]" on standard output ("+ folder/" and
// "- folder/" for folders made and removed), failures on standard error, the
// counts last. For scripts (json): one JSON object a line on standard output,
// {"type":"file",...} per file, {"type":"folder",...} for each folder and
// {"type":"summary",...} last. Quiet: only what failed (or, previewing, would
// stay) and the summary.
class TRunReporter {
public:
    TRunReporter(TConsole& console, bool json, bool quiet) : console_(console), json_(json), quiet_(quiet) {}
    void File(const TFileReport& r);
    void Folder(const TFolderReport& f);
    void Summary(const TRunSummary& s);

private:
    TConsole& console_;
    bool json_;
    bool quiet_;
};

// A JSON string: UTF-8 kept, control characters escaped, and a byte that is
// not UTF-8 as the lone surrogate \udcXX, so that any file name survives.
std::string JsonString(const std::string& text);

}  // namespace host
