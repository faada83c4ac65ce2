// The plug-in as a host sees it: a library file, its eight exports, its
// descriptor and an options record from its own heap.
#pragma once

#include <cstdint>
#include <string>

#include "Context.h"
#include "PluginRecords.h"
#include "System.h"

namespace host {

struct TDescriptor {
    std::string version, title, author, mask;  // UTF-8
    std::int32_t optionsSize = 0;
};

// A file of a run and the 8-bit path the plug-in is handed for it: the whole
// path or, when its folder's name is beyond Windows-1251, the name alone from
// inside that folder, as a host working there would hand it.
struct THandedFile {
    const std::string& path;  // UTF-8, as the run names it
    std::string ansi;
    bool inFolder = false;
};
// file.ansi made from file.path; false when not even the name fits Windows-1251.
bool HandOver(THandedFile& file);

class TPluginHost : public PluginExports {
public:
    bool Load(const std::string& path, std::string& error);
    TDescriptor Descriptor() const;
    // One process call for a file of a run (from inside its folder when it is
    // handed over by name): the 8-bit path handed back, copied out of the
    // plug-in's storage (the file's own when it hands back none); false with
    // a reason when the folder cannot be entered or left.
    bool Process(PluginOptions* record, const THandedFile& file, bool preview, std::string& result, std::string& error);

private:
    TLibrary library_;
    TWorkingFolder workingFolder_;
    std::string handed_;  // the path of the call in progress, its room kept from call to call
};

// The UTF-8 path of the plug-in's result for a file.
std::string ResultPath(const THandedFile& file, const std::string& ansiResult);

// The pattern (UTF-8) in the plug-in's code page, for a plug-in whose record
// this host fills; false with the message to print when either does not fit.
bool AnsiPattern(const TDescriptor& descriptor, const std::string& pattern, std::string& ansiPattern, std::string& error);

// An options record from the plug-in's heap, given back through freeOpt.
class TOptionsRecord {
public:
    explicit TOptionsRecord(const TPluginHost& plugin) : plugin_(plugin) { plugin_.newOpt(&record_); }
    ~TOptionsRecord() {
        if (record_ != nullptr) plugin_.freeOpt(record_);
    }
    TOptionsRecord(const TOptionsRecord&) = delete;
    TOptionsRecord& operator=(const TOptionsRecord&) = delete;
    PluginOptions* Get() const { return record_; }
    // The record cleared and given a pattern (8-bit, at most the field's size) and a tag source.
    void Fill(const std::string& ansiPattern, std::int32_t tagSource);

private:
    const TPluginHost& plugin_;
    PluginOptions* record_ = nullptr;
};

// Loads --plugin's library, or the one an installation puts beside the
// program (natively also ../lib/pelmora); false with the message to print.
bool LoadPlugin(TPluginHost& plugin, const std::string& named, const THostContext& context, std::string& error);

}  // namespace host
