#include <algorithm>

#include "TestFiles.h"

namespace testing_support {

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
    getInfo = reinterpret_cast<decltype(getInfo)>(Symbol("getInfo"));
    initialize = reinterpret_cast<decltype(initialize)>(Symbol("initialize"));
    newOpt = reinterpret_cast<decltype(newOpt)>(Symbol("newOpt"));
    freeOpt = reinterpret_cast<decltype(freeOpt)>(Symbol("freeOpt"));
    showOptions = reinterpret_cast<decltype(showOptions)>(Symbol("showOptions"));
    process = reinterpret_cast<decltype(process)>(Symbol("process"));
    exportBtns = reinterpret_cast<decltype(exportBtns)>(Symbol("exportBtns"));
    clickBtn = reinterpret_cast<decltype(clickBtn)>(Symbol("clickBtn"));
    return getInfo && initialize && newOpt && freeOpt && showOptions && process && exportBtns && clickBtn;
}

void* Plugin::Symbol(const char* name) const { return module != nullptr ? ModuleSymbol(module, name) : nullptr; }

Plugin::~Plugin() {
    if (module != nullptr) CloseModule(module);
}

}  // namespace testing_support
