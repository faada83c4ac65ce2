// Files and folders for tests, by 8-bit (Windows-1251) path in both builds, and
// the plug-in library loaded by file name as a host loads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PluginRecords.h"

namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

// The path delimiter of this build.
extern const char kSep;

// A fresh folder that is removed with everything in it when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    // The path of a file in this folder (name in Windows-1251).
    std::string File(const std::string& name) const { return path_ + kSep + name; }
    std::string Write(const std::string& name, const Bytes& bytes) const;

private:
    std::string path_;
};

void WriteFile(const std::string& path, const Bytes& bytes);
bool ReadFile(const std::string& path, Bytes& bytes);
// The file's bytes; none when it cannot be read.
Bytes Contents(const std::string& path);
bool FileExists(const std::string& path);
bool MakeDir(const std::string& path);
// Names in a folder, sorted.
std::vector<std::string> ListDir(const std::string& path);
// A path of the source tree in the form this build's file calls take.
std::string SourcePath(const std::string& relative);
// Folder holding the test program (and the plug-in beside it).
std::string ProgramDir();
// A file of ../shared/testdata by "folder/name", and every MP3 and tag file
// there by that name (none when the folder is absent).
std::string SharedPath(const std::string& folderAndName);
std::vector<std::string> SharedTestFiles();
// Runs a command through the system shell; its exit status. Native only.
int RunCommand(const std::string& command);

// The system's dynamic loader (dlopen or LoadLibraryA).
void* OpenModule(const std::string& path);
void* ModuleSymbol(void* module, const char* name);
void CloseModule(void* module);

// The plug-in library loaded by file name, its eight exports resolved by name.
struct Plugin : PluginExports {
    void* module = nullptr;

    bool Load(const std::string& path);
    void* Symbol(const char* name) const;
    ~Plugin();
};

// The plug-in built beside the test program.
std::string PluginPath();

}  // namespace testing_support
