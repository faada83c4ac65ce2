#include <algorithm>

#include "TestFiles.h"

namespace testing_support {

std::string TempDir::Write(const std::string& name, const Bytes& bytes) const {
    const std::string path = File(name);
    WriteFile(path, bytes);
    return path;
}

std::vector<std::string> SharedTestFiles() {
    std::vector<std::string> files;
    for (const char* folder : {"taglib", "mutagen", "debian"}) {
        const std::string dir = SourcePath(std::string("../shared/testdata/") + folder);
        for (const std::string& name : ListDir(dir)) {
            if (name.size() > 4 && (name.ends_with(".mp3") || name.ends_with(".id3"))) {
                files.push_back(dir + kSep + name);
            }
        }
    }
    return files;
}

bool Plugin::Load(const std::string& path) {
    module = OpenModule(path);
    if (module == nullptr) return false;
    return Resolve([this](const char* name) { return Symbol(name); });
}

void* Plugin::Symbol(const char* name) const { return module != nullptr ? ModuleSymbol(module, name) : nullptr; }

Plugin::~Plugin() {
    if (module != nullptr) CloseModule(module);
}

}  // namespace testing_support
