// Scratch folders by UTF-8 path and an in-process run of the command against
// the stand-in plug-in, for the host's tests in both builds.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Command.h"
#include "System.h"

namespace commandtest {

// A fresh folder, removed with its contents when the object dies.
class TScratch {
public:
    TScratch();
    ~TScratch();
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const;
    std::string Write(const std::string& name, const std::string& text) const;
    std::string Folder(const std::string& name) const;

private:
    std::string path_;
};

std::string Read(const std::string& path);
inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
// Names in a folder, sorted.
std::vector<std::string> Names(const std::string& folder);

struct TRun {
    int status = -1;
    std::string out;
    std::string err;
};

// The stand-in plug-in built beside the test program.
std::string TestPluginPath();

// Told of each text the run writes to standard output, as it writes it.
using TOutWatch = std::function<void(const std::string&)>;

// Runs the command in-process with these arguments; the journals of runs
// without --journal go to stateFolder. Standard output takes outWrites
// writes and fails from then on, as a closed pipe does (-1: never fails).
// stop stands for the signal that asks to stop (Ctrl-C).
TRun Run(const std::vector<std::string>& args, const std::string& stateFolder = "", int outWrites = -1,
         std::function<int()> stop = {}, const TOutWatch& watch = {});
// The same, with the stand-in plug-in named first.
TRun RunWithTestPlugin(std::vector<std::string> args, const std::string& stateFolder = "", int outWrites = -1,
                       std::function<int()> stop = {}, const TOutWatch& watch = {});

// Keeps the stand-in plug-in loaded, so that the host's own load shares its
// state, and reads its count of records handed out by newOpt and not freed.
class TTestPluginProbe {
public:
    TTestPluginProbe();
    long OutstandingRecords() const;

private:
    host::TLibrary library_;
};

}  // namespace commandtest
