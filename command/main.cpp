// The pelmora command's entry: arguments as UTF-8 (from UTF-16 on Windows, so
// no name is lost before the command can judge it), then the host's run.
#include <string>
#include <vector>

#include "Command.h"
#include "System.h"

#ifdef PELMORA_TEST_HOOKS
#include <cstdlib>
#endif

namespace {

int Run(const std::vector<std::string>& args) {
    // Before anything is opened: a closed output must not become the journal.
    host::OpenClosedStandardStreams();
    host::IgnoreWriteSignals();
    host::CatchStopSignals();
    host::THostContext context;
    context.programFolder = host::ProgramFolder();
    context.stateFolder = host::StateFolder();
    context.defaultPluginFile = PELMORA_PLUGIN_FILE;
    context.out = host::WriteOut;
    context.err = host::WriteErr;
    context.errIsTerminal = host::ErrIsTerminal();
    context.stopSignal = host::StopSignal;
#ifdef PELMORA_TEST_HOOKS
    // Only in the tests' build of the command: dies like a killed process
    // after this many renames; pauses before each file; reads ahead always.
    const std::string kill = host::EnvironmentValue("PELMORA_TEST_KILL_AFTER");
    if (!kill.empty()) context.killAfterRenames = std::strtol(kill.c_str(), nullptr, 10);
    context.killAfterLine = host::EnvironmentValue("PELMORA_TEST_KILL_AFTER_LINE");
    const std::string pause = host::EnvironmentValue("PELMORA_TEST_PAUSE_MS");
    if (!pause.empty()) context.pauseMillis = std::strtol(pause.c_str(), nullptr, 10);
    context.readAheadCached = true;
#endif
    return host::RunPelmora(args, context);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(host::Utf8FromWide(argv[i]));
    return Run(args);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
