// What the command line asks for, and the help that tells how to ask.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PelmoraConstants.h"

namespace host {

enum class TAction { Rename, Undo, History, Help, Version };

// Texts in UTF-8.
struct TCommand {
    TAction action = TAction::Rename;
    std::string pattern = std::string(pelmora::kDefaultPattern);
    std::int32_t tagSource = static_cast<std::int32_t>(pelmora::TTagSource::ID3v2);
    bool dryRun = false;
    bool recursive = false;
    std::string pluginPath;   // empty: the plug-in beside the program
    std::string journalPath;  // empty: a new journal in the state folder
    bool noJournal = false;
    bool json = false;   // one JSON object per file on standard output
    bool quiet = false;  // only failures and the summary
    bool allowPosixNames = false;  // take names that Linux allows and Windows refuses
    bool keepEmpty = false;  // keep the folders that a pattern with folders empties
    bool readAhead = true;  // worker threads read the next files while the plug-in works
    std::string undoJournal;  // empty: the newest journal
    std::vector<std::string> paths;
};

// Parses the arguments after the program name; false with a message on bad usage.
bool ParseCommandLine(const std::vector<std::string>& args, TCommand& command, std::string& error);

std::string HelpText();

}  // namespace host
