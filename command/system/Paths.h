// Paths: their absolute and comparable forms, the working folder, and where
// the user's state lives. UTF-8 in both builds.
#pragma once

#include <string>
#include <string_view>

namespace host {

// The delimiter the command writes between a folder and a name.
extern const char kPathDelimiter;

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

// The absolute form of a path, lexically normalised; the path itself on failure.
std::string AbsolutePath(const std::string& path);

// The absolute form of a path whose folder is resolved by the system: links
// followed, ".." taken as the system takes it. The name itself is kept (a
// link named is not followed). AbsolutePath's result when the folder cannot
// be resolved.
std::string ResolvedPath(const std::string& path);

// A path in a form that compares equal for names the file system takes as
// the same: absolute, and letter case folded on Windows.
std::string NameKey(std::string path);
// NameKey(JoinPath(folder, name)) into key, which keeps its room, for a folder
// as ResolvedPath gives it and a name of one segment.
void ChildKey(std::string& key, const std::string& resolvedFolder, std::string_view name);

// An environment variable; empty when unset.
std::string EnvironmentValue(const char* name);

// The user's folder for the undo journals.
std::string StateFolder();

}  // namespace host
