// The pelmora command: a host that loads the plug-in by file name and renames
// files through its exports alone, with a preview that marks what a real run
// could not do, a journal of every rename, and undo from that journal.
// Everything here is portable; HostSystem.h holds the operating-system verbs.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace host {

// What the command needs from around it.
struct THostContext {
    std::string programFolder;
    std::string stateFolder;
    std::string defaultPluginFile;
    // Each false when the text could not be written (a closed pipe, a full disk).
    std::function<bool(const std::string&)> out;
    std::function<bool(const std::string&)> err;
    bool errIsTerminal = false;
    // Test hook: after this many real renames the process dies before it
    // journals the last one, as a kill would leave it (0: never).
    long killAfterRenames = 0;
};

constexpr int kExitSuccess = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Runs the command; its exit status.
int RunPelmora(const std::vector<std::string>& args, const THostContext& context);

}  // namespace host
