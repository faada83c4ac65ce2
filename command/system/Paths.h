// Paths: their absolute and comparable forms, the working folder, and where
// the user's state lives. UTF-8 in both builds.
#pragma once

#include <string>

namespace host {

// The delimiter the command writes between a folder and a name.
extern const char kPathDelimiter;

// The working folder moved for a while and put back, so that the plug-in can
// be handed a path relative to a folder its 8-bit code page cannot name.
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

// The absolute path with its folder resolved by the system (links followed,
// ".." as the system takes it) and its name kept as it is; lexically
// normalised when the folder cannot be resolved.
std::string ResolvedPath(const std::string& path);

// A path in a form that compares equal for names the file system takes as
// the same: absolute, lexically normalised, and letter case folded on Windows.
std::string NameKey(std::string path);

// An environment variable; empty when unset.
std::string EnvironmentValue(const char* name);

// The user's folder for the undo journals.
std::string StateFolder();

}  // namespace host
