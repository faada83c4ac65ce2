// Loading the plug-in: the library itself and the folder of the running
// program, beside which it is looked for.
#pragma once

#include <string>

namespace host {

// The folder holding the running program, absolute; empty when the system
// cannot say (never the current folder by default).
std::string ProgramFolder();

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
