// The command line of pelmora and its help text.
#include "CommandLine.h"

#include <algorithm>

#include "Text.h"

namespace host {

namespace {

// Where the help's option texts start.
constexpr std::size_t kOptionColumn = 25;

std::string TagNames(const std::string& separator) {
    std::string names;
    for (const std::string_view name : pelmora::kTagSourceNames) names += (names.empty() ? "" : separator) + std::string(name);
    return names;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, TCommand& command, std::string& error) {
    command = TCommand {};
    bool undo = false, history = false, version = false, renameOptions = false, journalGiven = false, endOfOptions = false;
    std::vector<std::string> operands;
    auto setTag = [&](const std::string& value) {
        const std::string upper = AsciiUpper(value);
        for (std::size_t source = 0; source < pelmora::kTagSourceNames.size(); ++source) {
            if (upper == AsciiUpper(std::string(pelmora::kTagSourceNames[source]))) {
                command.tagSource = static_cast<std::int32_t>(source);
                return true;
            }
        }
        error = "unknown tag '" + value + "' (" + AsciiLower(TagNames(" or ")) + ")";
        return false;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (endOfOptions || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            endOfOptions = true;
            continue;
        }
        if (StartsWith(arg, "--")) {
            std::string name = arg.substr(2), value;
            const std::size_t equals = name.find('=');
            const bool attached = equals != std::string::npos;
            if (attached) {
                value = name.substr(equals + 1);
                name.resize(equals);
            }
            auto takeValue = [&](std::string& out) {
                if (attached) {
                    out = value;
                } else if (i + 1 < args.size()) {
                    out = args[++i];
                } else {
                    error = "option '--" + name + "' needs a value";
                    return false;
                }
                return true;
            };
            const bool flag = name == "dry-run" || name == "recursive" || name == "no-journal" || name == "undo" ||
                              name == "allow-posix-names" || name == "help" || name == "version" ||
                              name == "history" || name == "json" || name == "quiet" || name == "no-read-ahead";
            if (flag && attached && name != "undo") {
                error = "option '--" + name + "' takes no value";
                return false;
            }
            if (name == "pattern") {
                if (!takeValue(command.pattern)) return false;
                renameOptions = true;
            } else if (name == "tag") {
                std::string tag;
                if (!takeValue(tag) || !setTag(tag)) return false;
                renameOptions = true;
            } else if (name == "plugin") {
                if (!takeValue(command.pluginPath)) return false;
            } else if (name == "journal") {
                if (!takeValue(command.journalPath)) return false;
                journalGiven = renameOptions = true;
            } else if (name == "dry-run") {
                command.dryRun = true;
            } else if (name == "recursive") {
                command.recursive = renameOptions = true;
            } else if (name == "allow-posix-names") {
                command.allowPosixNames = renameOptions = true;
            } else if (name == "no-journal") {
                command.noJournal = renameOptions = true;
            } else if (name == "undo") {
                undo = true;
                if (attached) operands.push_back(value);
            } else if (name == "history") {
                history = true;
            } else if (name == "no-read-ahead") {
                command.readAhead = false;
                renameOptions = true;
            } else if (name == "json") {
                command.json = renameOptions = true;
            } else if (name == "quiet") {
                command.quiet = renameOptions = true;
            } else if (name == "help") {
                command.action = TAction::Help;
                return true;
            } else if (name == "version") {
                version = true;
            } else {
                error = "unknown option '--" + name + "'";
                return false;
            }
            continue;
        }
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const char c = arg[k];
            if (c == 'p' || c == 't') {
                std::string value;
                if (k + 1 < arg.size()) {
                    value = arg.substr(k + 1);
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                } else {
                    error = std::string("option '-") + c + "' needs a value";
                    return false;
                }
                if (c == 'p') {
                    command.pattern = value;
                } else if (!setTag(value)) {
                    return false;
                }
                renameOptions = true;
                break;
            }
            if (c == 'n') {
                command.dryRun = true;
            } else if (c == 'r') {
                command.recursive = renameOptions = true;
            } else if (c == 'q') {
                command.quiet = renameOptions = true;
            } else if (c == 'h') {
                command.action = TAction::Help;
                return true;
            } else if (c == 'V') {
                version = true;
            } else {
                error = std::string("unknown option '-") + c + "'";
                return false;
            }
        }
    }
    if (version) {
        command.action = TAction::Version;
        return true;
    }
    if (history) {
        if (undo || renameOptions || command.dryRun || !operands.empty()) {
            error = "--history takes no other option and no path";
            return false;
        }
        command.action = TAction::History;
        return true;
    }
    if (undo) {
        if (renameOptions) {
            error = "--undo takes only -n and a journal";
            return false;
        }
        if (operands.size() > 1) {
            error = "--undo takes one journal at most";
            return false;
        }
        command.action = TAction::Undo;
        if (!operands.empty()) command.undoJournal = operands.front();
        return true;
    }
    if (journalGiven && command.noJournal) {
        error = "--journal and --no-journal exclude each other";
        return false;
    }
    if (command.pattern.empty()) {
        error = "the pattern is empty";
        return false;
    }
    if (operands.empty()) {
        error = "no file or folder named";
        return false;
    }
    command.paths = operands;
    return true;
}

std::string HelpText() {
    const std::string tags = AsciiLower(TagNames("|"));
    const std::string defaultTag = AsciiLower(std::string(pelmora::kTagSourceNames.front()));
    std::string placeholders = "Placeholders:";
    for (std::size_t i = 0; i < pelmora::kPlaceholders.size(); ++i) {
        // The tag's placeholders on one line, the audio's and the path's on the next.
        if (i == pelmora::kTagPlaceholderCount) placeholders += "\n             ";
        placeholders += ' ';
        placeholders += pelmora::kPlaceholders[i];
    }
    std::string text =
        "Usage: pelmora [OPTION]... PATH...\n"
        "       pelmora --undo [-n] [JOURNAL]\n"
        "       pelmora --history\n"
        "Renames MP3 files after their tags through the Pelmora ID3 plug-in. PATH is a\n"
        "file or a folder; every real run that renames a file keeps a journal that\n"
        "--undo reads.\n"
        "\n";
    text += "  -p, --pattern PATTERN  name pattern (default \"";
    text += pelmora::kDefaultPattern;
    text += "\")\n";
    std::string tagOption = "  -t, --tag ";
    tagOption += tags;
    tagOption.resize(std::max<std::size_t>(tagOption.size() + 1, kOptionColumn), ' ');
    text += tagOption;
    text += "tag the values come from (default ";
    text += defaultTag;
    text += ")\n";
    text += "  -n, --dry-run          show the new names and mark what a real run could not do\n"
            "  -r, --recursive        look inside subfolders too\n"
            "      --allow-posix-names  take names Windows refuses where this system allows them\n"
            "      --plugin FILE      plug-in library to load (default: the installed one)\n"
            "      --journal FILE     keep the undo journal in FILE\n"
            "      --no-journal       keep no undo journal\n"
            "      --no-read-ahead    do not read the next files from other threads while the\n"
            "                         plug-in handles one (that helps a library not yet cached)\n"
            "  -q, --quiet            print only failures and the summary\n"
            "      --json             one JSON object per file, then one for the summary\n"
            "      --undo [JOURNAL]   put back the names of a run (default: the newest not yet\n"
            "                         undone; the next --undo the one before it)\n"
            "      --history          list the journals of runs, and whether each is undone\n"
            "  -h, --help             show this help\n"
            "  -V, --version          show the plug-in's version\n"
            "\n";
    text += placeholders;
    text += "\n"
            "Exit status: 0 when nothing failed, 1 when a file was not renamed (or, with -n,\n"
            "would not be), 2 for bad usage or a plug-in that cannot be loaded.\n"
            "\n"
            "Examples:\n"
            "  pelmora -n -r ~/Music                          preview the whole library\n"
            "  pelmora -t id3v1 -p '*track* *title*' Album/   rename one folder from ID3v1\n";
    return text;
}

}  // namespace host
