// The command's entry: the command line decides which job runs.
#include "Command.h"

#include <exception>

#include "CommandLine.h"
#include "Console.h"
#include "PluginHost.h"
#include "Rename.h"
#include "Undo.h"

namespace host {

namespace {

int RunVersion(const TCommand& command, const THostContext& context) {
    TConsole console(context);
    TPluginHost plugin;
    std::string error;
    if (!LoadPlugin(plugin, command.pluginPath, context, error)) {
        console.Err(error);
        return kExitUsage;
    }
    const TDescriptor d = plugin.Descriptor();
    console.Out(std::string(kProgram) + " " + d.version + " (" + d.title + " by " + d.author + ", handles " + d.mask +
                ")\n");
    return kExitSuccess;
}

}  // namespace

int RunPelmora(const std::vector<std::string>& args, const THostContext& context) {
    TCommand command;
    std::string error;
    if (!ParseCommandLine(args, command, error)) {
        if (context.err) context.err(std::string(kProgram) + ": " + error + "\nTry 'pelmora --help'.\n");
        return kExitUsage;
    }
    try {
        switch (command.action) {
        case TAction::Help:
            if (context.out) context.out(HelpText());
            return kExitSuccess;
        case TAction::Version: return RunVersion(command, context);
        case TAction::Undo: return RunUndo(command, context);
        case TAction::History: return RunHistory(command, context);
        case TAction::Rename: return RunRename(command, context);
        }
    } catch (const std::exception& e) {
        if (context.err) context.err(std::string(kProgram) + ": " + e.what() + "\n");
    }
    return kExitFailed;
}

}  // namespace host
