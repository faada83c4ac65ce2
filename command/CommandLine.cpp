// The command line of pelmora: one table of its options, read by the parser
// and by the help text alike.
#include "CommandLine.h"

#include <algorithm>

namespace host {

namespace {

// Where the help's option texts start.
constexpr std::size_t kOptionColumn = 25;

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return lower;
}

// As the command line names them: "id3v2|id3v1".
std::string TagNames(const std::string& separator) {
    std::string names;
    for (const std::string_view name : pelmora::kTagSourceNames) {
        if (!names.empty()) names += separator;
        names += AsciiLower(name);
    }
    return names;
}

// What the options have set so far.
struct TParse {
    TCommand& command;
    std::string& error;
    bool undo = false, history = false, version = false, renameOptions = false, journalGiven = false;
    std::vector<std::string> operands {};
};

bool Fail(TParse& p, std::string message) {
    p.error = std::move(message);
    return false;
}

enum class TValue { None, Required, AttachedOnly };

struct TOption {
    char shortName;    // '\0' when it has none
    std::string name;  // after "--"
    TValue value;
    std::string valueName;  // in the help
    bool renameOnly;        // only a rename run takes it
    std::string help;       // a line break goes on at the help's column
    // value: null when none was given; false (with the error set) on a bad one.
    bool (*apply)(TParse&, const std::string* value);
};

bool SetTag(TParse& p, const std::string* value) {
    const std::string lower = AsciiLower(*value);
    for (std::size_t source = 0; source < pelmora::kTagSourceNames.size(); ++source) {
        if (lower == AsciiLower(pelmora::kTagSourceNames[source])) {
            p.command.tagSource = static_cast<std::int32_t>(source);
            return true;
        }
    }
    return Fail(p, "unknown tag '" + *value + "' (" + TagNames(" or ") + ")");
}

// A flag that only sets a field of the command.
template <bool TCommand::*Field, bool kTo = true>
bool Set(TParse& p, const std::string*) {
    p.command.*Field = kTo;
    return true;
}

const std::vector<TOption>& Options() {
    using enum TValue;
    static const std::vector<TOption> options = {
        {'p', "pattern", Required, "PATTERN", true,
         "name pattern (default \"" + std::string(pelmora::kDefaultPattern) + "\")",
         [](TParse& p, const std::string* v) { p.command.pattern = *v; return true; }},
        {'t', "tag", Required, TagNames("|"), true,
         "tag the values come from (default " + AsciiLower(pelmora::kTagSourceNames.front()) + ")", SetTag},
        {'n', "dry-run", None, "", false, "show the new names and mark what a real run could not do",
         Set<&TCommand::dryRun>},
        {'r', "recursive", None, "", true, "look inside subfolders too", Set<&TCommand::recursive>},
        {'\0', "allow-posix-names", None, "", true, "take names Windows refuses where this system allows them",
         Set<&TCommand::allowPosixNames>},
        {'\0', "keep-empty", None, "", true, "keep the folders that a pattern naming folders empties",
         Set<&TCommand::keepEmpty>},
        {'\0', "plugin", Required, "FILE", false, "plug-in library to load (default: the installed one)",
         [](TParse& p, const std::string* v) { p.command.pluginPath = *v; return true; }},
        {'\0', "journal", Required, "FILE", true, "keep the undo journal in FILE",
         [](TParse& p, const std::string* v) { p.command.journalPath = *v; return p.journalGiven = true; }},
        {'\0', "no-journal", None, "", true, "keep no undo journal", Set<&TCommand::noJournal>},
        {'\0', "no-read-ahead", None, "", true,
         "do not read the next files from other threads while the\nplug-in handles one (that helps a library not yet cached)",
         Set<&TCommand::readAhead, false>},
        {'q', "quiet", None, "", true, "print only failures and the summary", Set<&TCommand::quiet>},
        {'\0', "json", None, "", true, "one JSON object per file, then one for the summary", Set<&TCommand::json>},
        {'\0', "undo", AttachedOnly, "[JOURNAL]", false,
         "put back the names of a run (default: the newest not yet\nundone, or the one whose undo left files alone)",
         [](TParse& p, const std::string* v) {
             if (v != nullptr) p.operands.push_back(*v);
             return p.undo = true;
         }},
        {'\0', "history", None, "", false, "list the journals of runs, and whether each is undone",
         [](TParse& p, const std::string*) { return p.history = true; }},
        {'h', "help", None, "", false, "show this help",
         [](TParse& p, const std::string*) { p.command.action = TAction::Help; return true; }},
        {'V', "version", None, "", false, "show the plug-in's version",
         [](TParse& p, const std::string*) { return p.version = true; }},
    };
    return options;
}

const TOption* Find(auto match) {
    for (const TOption& option : Options()) {
        if (match(option)) return &option;
    }
    return nullptr;
}

bool Apply(TParse& p, const TOption& option, const std::string* value) {
    p.renameOptions = p.renameOptions || option.renameOnly;
    return option.apply(p, value);
}

// The options of one argument ("--name", "--name=value", "-abc"); the value
// may be the next argument, at i + 1.
bool ParseOption(const std::vector<std::string>& args, std::size_t& i, TParse& p) {
    const std::string& arg = args[i];
    if (arg[1] != '-') {
        for (std::size_t k = 1; k < arg.size() && p.command.action != TAction::Help; ++k) {
            const char c = arg[k];
            const TOption* option = Find([c](const TOption& o) { return o.shortName == c; });
            if (option == nullptr) return Fail(p, std::string("unknown option '-") + c + "'");
            if (option->value != TValue::Required) {
                if (!Apply(p, *option, nullptr)) return false;
                continue;
            }
            // The rest of the argument, or the next one, is its value.
            std::string value;
            if (k + 1 < arg.size()) {
                value = arg.substr(k + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return Fail(p, std::string("option '-") + c + "' needs a value");
            }
            return Apply(p, *option, &value);
        }
        return true;
    }
    std::string name = arg.substr(2), value;
    const std::size_t equals = name.find('=');
    const bool attached = equals != std::string::npos;
    if (attached) {
        value = name.substr(equals + 1);
        name.resize(equals);
    }
    const TOption* option = Find([&name](const TOption& o) { return o.name == name; });
    if (option == nullptr) return Fail(p, "unknown option '--" + name + "'");
    if (option->value == TValue::None && attached) return Fail(p, "option '--" + name + "' takes no value");
    if (option->value == TValue::Required && !attached) {
        if (i + 1 >= args.size()) return Fail(p, "option '--" + name + "' needs a value");
        value = args[++i];
    }
    return Apply(p, *option, attached || option->value == TValue::Required ? &value : nullptr);
}

// The job the options name, and whether they fit it.
bool Finish(TParse& p) {
    TCommand& command = p.command;
    if (p.version) {
        command.action = TAction::Version;
        return true;
    }
    if (p.history) {
        if (p.undo || p.renameOptions || command.dryRun || !p.operands.empty()) {
            return Fail(p, "--history takes no other option and no path");
        }
        command.action = TAction::History;
        return true;
    }
    if (p.undo) {
        if (p.renameOptions) return Fail(p, "--undo takes only -n and a journal");
        if (p.operands.size() > 1) return Fail(p, "--undo takes one journal at most");
        command.action = TAction::Undo;
        if (!p.operands.empty()) command.undoJournal = p.operands.front();
        return true;
    }
    if (p.journalGiven && command.noJournal) return Fail(p, "--journal and --no-journal exclude each other");
    if (command.pattern.empty()) return Fail(p, "the pattern is empty");
    if (p.operands.empty()) return Fail(p, "no file or folder named");
    command.paths = p.operands;
    return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, TCommand& command, std::string& error) {
    command = TCommand {};
    TParse p {command, error};
    bool endOfOptions = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (endOfOptions || arg.size() < 2 || arg[0] != '-') {
            p.operands.push_back(arg);
        } else if (arg == "--") {
            endOfOptions = true;
        } else if (!ParseOption(args, i, p)) {
            return false;
        }
        if (command.action == TAction::Help) return true;
    }
    return Finish(p);
}

std::string HelpText() {
    std::string text =
        "Usage: pelmora [OPTION]... PATH...\n"
        "       pelmora --undo [-n] [JOURNAL]\n"
        "       pelmora --history\n"
        "Renames MP3 files after their tags through the Pelmora ID3 plug-in. PATH is a\n"
        "file or a folder; every real run that renames a file keeps a journal that\n"
        "--undo reads.\n"
        "\n";
    for (const TOption& option : Options()) {
        std::string line = option.shortName != '\0' ? std::string("  -") + option.shortName + ", " : "      ";
        line += "--" + option.name;
        if (!option.valueName.empty()) line += " " + option.valueName;
        line.resize(std::max(line.size() + 2, kOptionColumn), ' ');
        for (const char c : option.help) line += c == '\n' ? "\n" + std::string(kOptionColumn, ' ') : std::string(1, c);
        text += line + "\n";
    }
    text += "\nPlaceholders:";
    for (std::size_t i = 0; i < pelmora::kPlaceholders.size(); ++i) {
        // The tag's placeholders on one line, the audio's and the path's on the next.
        if (i == pelmora::kTagPlaceholderCount) text += "\n             ";
        text += ' ';
        text += pelmora::kPlaceholders[i];
    }
    text += "\n"
            "A \"/\", \"\\\" or \":\" in a value becomes \"_\"; a missing track number is 0; a file\n"
            "without the chosen tag gets NOTAG for its values where the pattern also names\n"
            "the audio. A name whose values are all empty, or that begins with a space, stays.\n"
            "A \"/\" or \"\\\" in the pattern makes a folder under the folder named (a file named:\n"
            "its own folder); the folders a run empties are removed, and undo takes back both.\n"
            "Exit status: 0 when nothing failed, 1 when a file was not renamed (or, with -n,\n"
            "would not be), 2 for bad usage or a plug-in that cannot be loaded, 128 + the\n"
            "signal when interrupted (Ctrl-C: 130).\n"
            "\n"
            "Examples:\n"
            "  pelmora -n -r ~/Music                          preview the whole library\n"
            "  pelmora -t id3v1 -p '*track* *title*' Album/   rename one folder from ID3v1\n"
            "  pelmora -r -p '*artist*/*album*/*title*' ~/Music\n"
            "                                                 organise into folders (undo: --undo)\n";
    return text;
}

}  // namespace host
