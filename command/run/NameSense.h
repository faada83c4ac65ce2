// Names that say nothing about their file, judged from the outside: every tag
// value that the pattern names came out empty (" - .mp3"), a name that begins
// with a space (an empty first value), or the plug-in's NOTAG for a file
// without a tag of the chosen kind. Whether the file has the tag comes with
// its name (the plug-in asked for the track too); where that cannot tell, the
// plug-in is asked once more, with a pattern of the tag's values alone.
// And what an old name's bytes seem to be when they are not UTF-8.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

class TNameSense {
public:
    // ansiPattern: the pattern as the plug-in is given it.
    TNameSense(const std::string& ansiPattern, std::int32_t tagSource);
    // The pattern to ask the plug-in with (a preview), when a name needs it; empty when no name does.
    const std::string& ProbePattern() const { return probe_; }
    // Whether the plug-in's new name (UTF-8, the last segment) needs the probe's answer.
    bool WantsProbe(std::string_view newName) const;
    // Text to put after the pattern so that the plug-in's answer also tells
    // whether the file has the tag, sparing most files without one the probe;
    // empty when no name needs to know.
    const std::string& TagQuestion() const { return tagQuestion_; }
    // The answer to the pattern with TagQuestion after it taken apart: the
    // path the pattern alone gives, and whether the file has the tag; none
    // (the path untouched) when it is not of that shape.
    std::optional<bool> TakeTagAnswer(std::string& ansiPath) const;
    // The marks of a name that says nothing (stays set when the file stays).
    // probeName: the probe's new name, or an empty one when the plug-in kept
    // the file's name (no tag); none when the probe was not made.
    void Judge(std::string_view newName, const std::optional<std::string>& probeName, std::vector<std::string>& marks,
               bool& stays) const;

private:
    std::string tagName_;                 // "ID3v2"
    std::vector<std::string> filled_;     // the tag values' names the pattern fills, "artist"
    std::optional<std::string> literal_;  // the name every empty value gives, when no other placeholder is in it
    bool audio_ = false;                  // a placeholder of the audio, which makes the plug-in write NOTAG
    std::string probe_;
    std::string tagQuestion_;
    // The bytes a name of empty tag values can hold: the pattern's and the
    // audio values'. A name with any other byte has a value in it.
    std::array<bool, 256> emptyBytes_ {};
};

// Why a file's name cannot be handed to the plug-in: not UTF-8 (and in which
// encoding its bytes seem to be written), or beyond Windows-1251.
std::string UnholdableName(const std::string& name);

}  // namespace host
