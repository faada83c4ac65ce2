#include "PluginTest.h"

#include <algorithm>
#include <cstring>

#include "AudioWriter.h"
#include "TagWriter.h"

namespace testing_support {

void PluginTest::SetUp() {
    ASSERT_TRUE(plugin.Load(PluginPath())) << PluginPath();
    plugin.newOpt(&options);
    ASSERT_NE(options, nullptr);
    SetPattern("*artist* - *title*");
}

void PluginTest::TearDown() {
    if (options != nullptr) plugin.freeOpt(options);
}

void PluginTest::SetPattern(const std::string& pattern, std::int32_t tagSource) {
    std::memset(options->pattern, 0, sizeof options->pattern);
    std::memcpy(options->pattern, pattern.data(), std::min(pattern.size(), sizeof options->pattern));
    options->tagSource = tagSource;
}

std::string PluginTest::Process(const std::string& path, bool preview) {
    return CallProcess(plugin, options, path, preview);
}

std::string CallProcess(const PluginExports& plugin, PluginOptions* options, const std::string& oldPath, bool preview,
                        const std::string& source) {
    std::string text = oldPath;
    char* p = text.data();
    plugin.process(&p, source.empty() ? text.c_str() : source.c_str(), nullptr, nullptr, &options, preview ? 1 : 0);
    return p;
}

Bytes TaggedFile(const std::string& title) {
    return Concat({ID3v2Writer(3).Text("TPE1", 0, Latin("A")).Text("TIT2", 0, Latin(title)).Build(),
                   Stream(FrameFields{}, 20)});
}

Bytes TaggedFileWithID3v1() { return Concat({TaggedFile(), ID3v1Tag(ID3v1Fields().Artist("C").Title("D"))}); }

}  // namespace testing_support
