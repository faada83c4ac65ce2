// The state folder's lock.
#include "Lock.h"

#include <chrono>
#include <thread>

#include "Journal.h"
#include "PathText.h"

namespace host {

namespace {

constexpr const char* kLockName = "lock";
// Long enough for a run that is just ending, short enough for a person.
constexpr auto kLockWait = std::chrono::seconds(3);
constexpr auto kLockPoll = std::chrono::milliseconds(50);

}  // namespace

bool TStateLock::Take(const THostContext& context, const std::string& what, std::string& error) {
    std::string reason;
    // Where no lock can be held a run still works (--journal, --no-journal);
    // a journal it needs there says why it cannot be written.
    if (context.stateFolder.empty() || !MakeFolders(context.stateFolder, reason)) return true;
    const std::string path = JoinPath(context.stateFolder, kLockName);
    const std::string note =
        "process " + std::to_string(ProcessId()) + ": " + what + " since " + JournalStart(JournalName(TimeStamp(), 0));
    const auto until = std::chrono::steady_clock::now() + kLockWait;
    for (;;) {
        std::string text;
        switch (file_.Take(path, note, text)) {
        case TLockFile::TResult::Taken:
        case TLockFile::TResult::Failed: return true;  // Failed: a state folder this user may not write to
        case TLockFile::TResult::Busy:
            if (std::chrono::steady_clock::now() < until) break;
            error = "another pelmora is at work (" + (text.empty() ? std::string("it has just started") : text) +
                    "); nothing done: try again when it has finished";
            return false;
        }
        std::this_thread::sleep_for(kLockPoll);
    }
}

}  // namespace host
