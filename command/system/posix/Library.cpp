// POSIX side of loading the plug-in's library.
#include <dlfcn.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "Library.h"
#include "PathText.h"
#include "Shared.h"

namespace host {

std::string ProgramFolder() {
    char buffer[kPathBufferSize];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0) return ParentOf(std::string(buffer, static_cast<std::size_t>(n)));  // absolute, as both answers are
    // Without /proc: the file the system was asked to run, as it was named to
    // execve (the shell gives the full path of a command it found on PATH),
    // taken against the folder the program started in.
    const auto* named = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
    if (named == nullptr || std::strchr(named, '/') == nullptr) return {};
    char* resolved = ::realpath(named, nullptr);
    if (resolved == nullptr) return {};
    const std::string path = resolved;
    std::free(resolved);
    return ParentOf(path);
}

TLibrary::~TLibrary() {
    if (module_ != nullptr) ::dlclose(module_);
}

bool TLibrary::Load(const std::string& path, std::string& error) {
    // dlopen searches the library path for a bare name; a host names a file.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    module_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr) {
        const char* reason = ::dlerror();
        error = reason != nullptr ? reason : "cannot load";
        return false;
    }
    return true;
}

void* TLibrary::Symbol(const char* name) const { return module_ != nullptr ? ::dlsym(module_, name) : nullptr; }

}  // namespace host
