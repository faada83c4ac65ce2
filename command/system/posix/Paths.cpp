// POSIX side of paths and the working folder.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "Files.h"
#include "PathText.h"
#include "Paths.h"
#include "Shared.h"

namespace host {

const char kPathDelimiter = '/';

TWorkingFolder::~TWorkingFolder() {
    Leave();
    if (saved_ >= 0) ::close(saved_);
}

bool TWorkingFolder::Enter(const std::string& path, std::string& error) {
    if (saved_ < 0) saved_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (!Told(saved_ >= 0 && ::chdir(path.c_str()) == 0, error)) return false;
    inside_ = true;
    return true;
}

bool TWorkingFolder::Leave() {
    if (!inside_) return true;
    inside_ = ::fchdir(saved_) != 0;
    return !inside_;
}

namespace {

// Asked once: the command's working folder is only ever moved for a moment
// (TWorkingFolder) and put back.
const std::string& WorkingFolderPath() {
    static const std::string folder = [] {
        char buffer[kPathBufferSize];
        return ::getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string();
    }();
    return folder;
}

// Lexical: "." segments go, ".." takes the segment before it; the path itself
// when it is relative and the working folder is unknown.
std::string AbsolutePath(const std::string& path) {
    const bool relative = path.empty() || path[0] != '/';
    if (relative && WorkingFolderPath().empty()) return path;
    std::string out;
    out.reserve((relative ? WorkingFolderPath().size() + 1 : 0) + path.size());
    const auto append = [&out](std::string_view text) {
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('/', start);
            if (end == std::string_view::npos) end = text.size();
            const std::string_view part = text.substr(start, end - start);
            if (part == "..") {
                out.resize(out.empty() ? 0 : out.rfind('/'));
            } else if (!part.empty() && part != ".") {
                out += '/';
                out += part;
            }
            start = end + 1;
        }
    };
    if (relative) append(WorkingFolderPath());
    append(path);
    return out.empty() ? "/" : out;
}

}  // namespace

std::string ResolvedPath(const std::string& path) {
    const std::string name = NameOf(path);
    if (name.empty() || name == "." || name == "..") return AbsolutePath(path);
    char* resolved = ::realpath(ParentOf(WithoutTrailingSlash(path)).c_str(), nullptr);
    if (resolved == nullptr) return AbsolutePath(path);
    const std::string folder = resolved;
    std::free(resolved);
    return JoinPath(folder, name);
}

std::string NameKey(std::string path) {
    // An absolute path without empty, "." or ".." segments is its own key.
    const bool normal = !path.empty() && path[0] == '/' && path.find("//") == std::string::npos &&
                        path.find("/.") == std::string::npos && (path.size() == 1 || path.back() != '/');
    if (normal) return path;
    return AbsolutePath(path);
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string StateFolder() {
    const std::string xdg = EnvironmentValue("XDG_STATE_HOME");
    if (!xdg.empty() && xdg[0] == '/') return xdg + "/pelmora";
    const std::string home = EnvironmentValue("HOME");
    if (!home.empty()) return home + "/.local/state/pelmora";
    return {};
}

}  // namespace host
