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

class TPluginHost : public PluginExports {
public:
    bool Load(const std::string& path, std::string& error);
    TDescriptor Descriptor() const;
    // One process call on an 8-bit path; the path handed back, copied out of
    // the plug-in's storage into result (the path itself when it hands back none).
    void Process(PluginOptions* record, const std::string& ansiPath, bool preview, std::string& result);

private:
    TLibrary library_;
};

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

// The library to load: --plugin's, or the one an installation puts beside the
// program (natively also ../lib/pelmora). Empty, with a message, when the
// program's folder is unknown.
std::string PluginPath(const std::string& named, const THostContext& context, std::string& error);

// Loads the plug-in the command names or the installed one; false with the
// message to print.
bool LoadPlugin(TPluginHost& plugin, const std::string& named, const THostContext& context, std::string& error);

}  // namespace host
