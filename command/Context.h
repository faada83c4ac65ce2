// What every unit of the pelmora command needs from around it: the folders it
// works with, its two output streams, and the exit statuses it gives.
#pragma once

#include <functional>
#include <string>

namespace host {

struct THostContext {
    std::string programFolder;
    std::string stateFolder;
    std::string defaultPluginFile;
    // Each false when the text could not be written (a closed pipe, a full disk).
    std::function<bool(const std::string&)> out;
    std::function<bool(const std::string&)> err;
    bool errIsTerminal = false;
    // The signal that asks the command to stop (Ctrl-C), 0 while none has.
    std::function<int()> stopSignal;
    // Test hook: after this many real renames the process dies before it
    // journals the last one, as a kill would leave it (0: never).
    long killAfterRenames = 0;
    // Test hook: "kind:N", the process dies just after writing the Nth
    // journal line of that kind, before the step it announces.
    std::string killAfterLine;
    // Test hook: a pause before each file of a run or undo, so that a signal
    // or a second pelmora can reach it midway.
    long pauseMillis = 0;
    // Test hook: read ahead even where the system holds the files in its
    // cache already, as it does those a test has just written.
    bool readAheadCached = false;
};

constexpr int kExitSuccess = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// Stopped by a signal: this plus the signal's number.
constexpr int kExitSignal = 128;

}  // namespace host
