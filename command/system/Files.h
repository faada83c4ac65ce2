// Files and folders as the command sees them: what an entry is, which file it
// is, what a folder lists, and the few files the command itself writes. Every
// path here is UTF-8 in both builds (the Windows side speaks UTF-16 to the
// system), so names the plug-in's 8-bit code page cannot hold still work.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace host {

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
};

// Follows links; false when the file cannot be examined.
bool IdentityOf(const std::string& path, TFileId& id);
// Whether anything, a link to nothing included, stands at path.
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

// Whether the file opens for reading while others may read and write it.
bool CanRead(const std::string& path, std::string& error);

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

}  // namespace host
