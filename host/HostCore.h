// The pelmora command: a host that loads the plug-in by file name and renames
// files through its exports alone, with a preview that marks what a real run
// could not do, a journal of every rename, and undo from that journal.
// Everything here is portable; HostSystem.h holds the operating-system verbs.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace host {

constexpr const char* kDefaultPattern = "*artist* - *title*";

enum class TAction { Rename, Undo, Help, Version };

// What the command line asks for; texts in UTF-8.
struct TCommand {
    TAction action = TAction::Rename;
    std::string pattern = kDefaultPattern;
    std::int32_t tagSource = 0;  // 0 = ID3v2, 1 = ID3v1, as the options record holds it
    bool dryRun = false;
    bool recursive = false;
    std::string pluginPath;   // empty: the plug-in beside the program
    std::string journalPath;  // empty: a new journal in the state folder
    bool noJournal = false;
    bool allowPosixNames = false;  // take names that Linux allows and Windows refuses
    std::string undoJournal;  // empty: the newest journal
    std::vector<std::string> paths;
};

// Parses the arguments after the program name; false with a message on bad usage.
bool ParseCommandLine(const std::vector<std::string>& args, TCommand& command, std::string& error);

std::string HelpText();

// Whether a file name matches one of the ';'-separated masks ("*" and "?"
// wildcards, ASCII letters in any case).
bool MatchesMask(const std::string& name, const std::string& masks);

// Why Windows would refuse a file name (8-bit text): the first refused
// character or a reserved device name, described; empty when it is accepted.
std::string WindowsRefusal(const std::string& ansiName);

// Why a real run would leave a file where it is, judged in run order: a target
// that exists and is not vacated earlier in the run, or one that an earlier
// file of the run takes first. Keys are paths in comparable form.
enum class TBlock { None, Exists, Collision };
class TRunPlan {
public:
    TBlock Check(const std::string& oldKey, const std::string& newKey, bool targetOnDisk) const;
    // Records a rename that the run will make.
    void Claim(const std::string& oldKey, const std::string& newKey);

private:
    std::set<std::string> claimed_;
    std::set<std::string> vacated_;
};

// The journal: one line per step, "kind<TAB>old<TAB>new", paths absolute and
// UTF-8, with control characters and "%" written as %XX.
constexpr const char* kJournalHeader = "# pelmora journal";
// Steps: "renaming" before the plug-in moves a file, then "renamed" with the
// name it really gave or "failed"; "undone" once undo has put it back.
constexpr const char* kKindRenaming = "renaming";
constexpr const char* kKindRenamed = "renamed";
constexpr const char* kKindFailed = "failed";
constexpr const char* kKindUndone = "undone";
constexpr const char* kJournalExtension = ".journal";
std::string JournalLine(const std::string& kind, const std::string& oldPath, const std::string& newPath);

enum class TEntryState { Pending, Done, Failed };
struct TJournalEntry {
    std::string oldPath;
    std::string newPath;
    TEntryState state = TEntryState::Pending;
    bool undone = false;
};
// False when the text is not a journal.
bool ParseJournal(const std::string& text, std::vector<TJournalEntry>& entries);
// The newest of a folder's journal names; empty when there is none.
std::string NewestJournal(const std::vector<std::string>& names);
// A journal name for a start time (UTC "YYYY-MM-DD_hh-mm-ss.mmmZ").
std::string JournalName(const std::string& stamp, unsigned sequence);
std::string TimeStamp();

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
