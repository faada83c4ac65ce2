// The product's constants, each defined once: the placeholders of a name
// pattern, the default pattern, the tag source and the descriptor texts.
// Everything here is ASCII, so every build and every consumer (plug-in,
// options window, command, fuzz targets) reads the same bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pelmora {

// The pattern of a new options record.
inline constexpr std::string_view kDefaultPattern = "*artist* - *title*";

// Which tag the tag placeholders are filled from, as the options record holds
// it. Hosts may store any other value; it selects no tag.
enum class TTagSource : std::int32_t { ID3v2 = 0, ID3v1 = 1 };
inline constexpr std::array<std::string_view, 2> kTagSourceNames = {"ID3v2", "ID3v1"};

// The twelve placeholders in the order a user meets them: the options
// window's menu and the command's help list them so.
enum class TPlaceholder : std::size_t {
    Artist, Title, Album, Year, Comment, Genre, Track,
    BitRate, Sample, Mode, Time, FileName,
};
inline constexpr std::array<std::string_view, 12> kPlaceholders = {
    "*artist*", "*title*", "*album*", "*year*", "*comment*", "*genre*",
    "*track*", "*bitrate*", "*sample*", "*mode*", "*time*", "*filename*",
};

// The extension every new name is given, whatever case the old one had.
inline constexpr std::string_view kNewExtension = ".mp3";

// The first seven come from the selected tag, the rest from the audio and the path.
inline constexpr std::size_t kTagPlaceholderCount = 7;

// The options window's menu gives placeholder i the command id kFirstPlaceholderMenuId + i.
inline constexpr unsigned kFirstPlaceholderMenuId = 6;

// The product's name; the options description begins with it
// ("Pelmora ID3v2 (*artist* - *title*)").
inline constexpr std::string_view kProductName = "Pelmora";

// The descriptor handed to the host (getInfo).
inline constexpr std::string_view kVersionText = "1.0.02";
inline constexpr std::string_view kTitleText = "Pelmora ID3";
inline constexpr std::string_view kAuthorText = "Tolvarin";
inline constexpr std::string_view kCategoryText = "MP3\\Pelmora ID3";
inline constexpr std::string_view kFileMask = "*.mp3";

}  // namespace pelmora
