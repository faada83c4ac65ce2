// The operating-system verbs the pelmora command needs beyond the plug-in:
// folders, file kinds, the plug-in library, the journal file and the console. Every path and text here is UTF-8 in both
// builds (the Windows side speaks UTF-16 to the system), so names that the
// plug-in's 8-bit code page cannot hold can still be listed and reported.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace host {

// The delimiter the command writes between a folder and a name.
extern const char kPathDelimiter;

enum class TFileKind { Missing, File, Folder, Other };

// What a file is, whatever name it is reached by: device and inode natively,
// volume serial number and file index on Windows, with its size and the time
// of its last change (rename keeps all four).
struct TFileId {
    std::uint64_t volume = 0, index = 0, size = 0;
    std::int64_t modified = 0;
    bool valid = false;
    bool operator==(const TFileId& o) const {
        return valid && o.valid && volume == o.volume && index == o.index && size == o.size && modified == o.modified;
    }
    // The same file (size and time aside): for telling duplicates apart.
    bool SameFile(const TFileId& o) const { return valid && o.valid && volume == o.volume && index == o.index; }
};

// Follows symbolic links; a dangling link is Missing.
TFileKind KindOf(const std::string& path);
// The same, with the identity where the look-up gives it cheaply (natively;
// on Windows id stays invalid).
TFileKind KindOf(const std::string& path, TFileId& id);
// Follows links; false when the file cannot be examined.
bool IdentityOf(const std::string& path, TFileId& id);
bool IsSymbolicLink(const std::string& path);
bool Exists(const std::string& path);

// Names in a folder ("." and ".." left out), unsorted; false with a reason when
// the folder cannot be read.
bool ListFolder(const std::string& path, std::vector<std::string>& names, std::string& error);

// What an entry is, without following a link: a link's target kind is in
// kind (Missing when it leads nowhere). error holds the system's reason when
// the entry cannot be examined at all (kind Missing then too).
struct TEntryInfo {
    TFileKind kind = TFileKind::Missing;
    bool link = false;
    std::string error;
};
TEntryInfo Examine(const std::string& path);

// A folder's entries with what the listing itself tells of them, so that a
// walk needs no look-up per file; unknown ones (known false) need Examine.
struct TFolderEntry {
    std::string name;
    TFileKind kind = TFileKind::Missing;
    bool link = false;
    bool known = false;
};
bool ListFolderEntries(const std::string& path, std::vector<TFolderEntry>& entries, std::string& error);

// Whether names may be added to and removed from a folder; the system's reason when not.
bool CanChangeFolder(const std::string& path, std::string& error);

// The name under which the folder lists the entry at path; empty when none stands there.
std::string ListedName(const std::string& path);

// The command's working folder moved for a while and put back, so that the
// plug-in can be handed a path relative to a folder whose name the 8-bit code
// page cannot hold.
class TWorkingFolder {
public:
    TWorkingFolder() = default;
    ~TWorkingFolder();
    TWorkingFolder(const TWorkingFolder&) = delete;
    TWorkingFolder& operator=(const TWorkingFolder&) = delete;
    bool Enter(const std::string& path, std::string& error);
    // False when the old working folder cannot be taken back.
    bool Leave();

private:
#ifdef _WIN32
    std::wstring saved_;
#else
    int saved_ = -1;
#endif
    bool inside_ = false;
};

// Whether the file opens for reading while others may read and write it.
bool CanRead(const std::string& path, std::string& error);

// The absolute form of a path, lexically normalised; the path itself on failure.
std::string AbsolutePath(const std::string& path);

// The absolute form of a path whose folder is resolved by the system: links
// followed, ".." taken as the system takes it. The name itself is kept (a
// link named is not followed). AbsolutePath's result when the folder cannot
// be resolved.
std::string ResolvedPath(const std::string& path);

// A path in a form that compares equal for names the file system takes as
// the same: absolute, and letter case folded on Windows.
std::string NameKey(const std::string& path);

// Why the last system call failed (errno, or GetLastError on Windows).
std::string LastErrorText();

// Removes a file; false when it cannot.
bool RemoveFile(const std::string& path);

// Creates the folder and its parents.
bool MakeFolders(const std::string& path);

// Creates a file that must not exist yet, for appending text; nullptr when it
// exists or cannot be made.
std::FILE* CreateNewFile(const std::string& path);
// Opens an existing file for reading or for appending.
std::FILE* OpenForReading(const std::string& path);
std::FILE* OpenForAppending(const std::string& path);
// Pushes written text to the file system before the next step.
bool FlushFile(std::FILE* file);

// An environment variable; empty when unset.
std::string EnvironmentValue(const char* name);

// The user's folder for the undo journals.
std::string StateFolder();

// The folder holding the running program, absolute; empty when the system
// cannot say (never the current folder by default).
std::string ProgramFolder();

// Opens standard input, output and error on the null device where they are
// closed, so that no file the command opens takes their place.
void OpenClosedStandardStreams();

// The standard streams: text goes out as UTF-8 (as UTF-16 to a Windows console).
// False when the text could not be written whole (a closed pipe, a full disk).
bool WriteOut(const std::string& text);
bool WriteErr(const std::string& text);
bool ErrIsTerminal();
// A write into a closed pipe fails with an error instead of ending the process.
void IgnoreBrokenPipes();

// Ends the process at once, as a kill would: nothing is flushed or cleaned up.
[[noreturn]] void KillSelf();

#ifdef _WIN32
// A UTF-16 text (a command-line argument) as UTF-8.
std::string Utf8FromWide(const wchar_t* text);
#endif

// A dynamic library loaded by file name.
class TLibrary {
public:
    TLibrary() = default;
    ~TLibrary();
    TLibrary(const TLibrary&) = delete;
    TLibrary& operator=(const TLibrary&) = delete;

    bool Load(const std::string& path, std::string& error);
    void* Symbol(const char* name) const;

private:
    void* module_ = nullptr;
};

}  // namespace host
