// The plug-in as a host drives it: the library loaded by file name, a record
// from newOpt filled with the pattern and tag source, process in preview once
// per file, freeOpt at the end.
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "PluginRecords.h"
#include "contender.h"
#include "platform.h"

const char* const kContenderUsage = "PLUGIN PATTERN TAGSOURCE";

namespace {

constexpr std::uint8_t kPreview = 1;

struct : PluginExports {
    void* module = nullptr;
    PluginOptions* options = nullptr;
} plugin;

}  // namespace

bool ContenderSetup(int argc, char** argv) {
    if (argc != 3) return false;
    plugin.module = dlopen(argv[0], RTLD_NOW | RTLD_LOCAL);
    if (plugin.module == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        std::exit(1);
    }
    if (!plugin.Resolve([](const char* name) { return dlsym(plugin.module, name); })) {
        std::fprintf(stderr, "the plug-in lacks one of the eight exports\n");
        std::exit(1);
    }
    PluginInfo info{};
    plugin.getInfo(&info);
    plugin.initialize(nullptr);
    plugin.newOpt(&plugin.options);
    if (plugin.options == nullptr || info.optionsSize != static_cast<std::int32_t>(sizeof(PluginOptions))) {
        std::fprintf(stderr, "the plug-in gave no usable options record\n");
        std::exit(1);
    }
    std::memset(plugin.options, 0, sizeof(PluginOptions));
    // A pattern may fill the whole field without a terminator.
    std::memcpy(plugin.options->pattern, argv[1], std::min(std::strlen(argv[1]), sizeof plugin.options->pattern));
    plugin.options->tagSource = std::atoi(argv[2]);
    return true;
}

void ContenderProcess(const std::string& path, TOutcome& outcome, bool wantText) {
    // The host hands over a pointer to its own copy of the path and reads the
    // new one through the same pointer.
    static std::vector<char> hostCopy;
    hostCopy.assign(path.c_str(), path.c_str() + path.size() + 1);
    char* name = hostCopy.data();
    plugin.process(&name, path.c_str(), nullptr, nullptr, &plugin.options, kPreview);
    if (name == nullptr) return;
    const std::string_view result(name);
    outcome.hit = result != path;
    outcome.hash = FoldHash(outcome.hash, result);
    if (wantText) outcome.text = platform::AnsiToUtf8(std::string(result));  // the names are Windows-1251
}

void ContenderTeardown() {
    plugin.freeOpt(plugin.options);
    plugin.options = nullptr;
    // The library stays loaded until the process ends, as in a host.
}
