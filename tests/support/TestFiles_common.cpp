#include <algorithm>

#include "TestFiles.h"

namespace testing_support {

std::string TempDir::Write(const std::string& name, const Bytes& bytes) const {
    const std::string path = File(name);
    WriteFile(path, bytes);
    return path;
}

Bytes Contents(const std::string& path) {
    Bytes bytes;
    ReadFile(path, bytes);  // leaves none when it fails
    return bytes;
}

std::string SharedPath(const std::string& folderAndName) {
    const std::size_t slash = folderAndName.find('/');
    return SourcePath("../shared/testdata/" + folderAndName.substr(0, slash)) + kSep + folderAndName.substr(slash + 1);
}

std::vector<std::string> SharedTestFiles() {
    std::vector<std::string> files;
    for (const std::string folder : {"taglib", "mutagen", "debian"}) {
        for (const std::string& name : ListDir(SourcePath("../shared/testdata/" + folder))) {
            if (name.size() > 4 && (name.ends_with(".mp3") || name.ends_with(".id3"))) files.push_back(folder + "/" + name);
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
