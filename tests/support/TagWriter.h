// Byte-exact ID3v2 (2.2, 2.3, 2.4) and ID3v1 (1.0, 1.1) tags for the tests,
// the fuzz seeds and the benchmark's library.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>


namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

// The bytes of an 8-bit string as they stand.
Bytes Latin(std::string_view text);
// 16-bit text, optionally with a leading byte order mark.
Bytes Utf16LE(std::u16string_view text, bool mark = false);
Bytes Utf16BE(std::u16string_view text, bool mark = false);
// UTF-8 of 16-bit units, each on its own (no surrogate pairs).
std::string Utf8(std::u16string_view text);
// Four bytes, seven bits each, most significant first.
Bytes Syncsafe(std::uint32_t value);
Bytes BigEndian(std::uint64_t value, std::size_t width);
Bytes LittleEndian(std::uint64_t value, std::size_t width);
Bytes Concat(std::initializer_list<Bytes> parts);
void Append(Bytes& bytes, const Bytes& more);

// The data of a comment or lyrics frame: encoding, language "eng", the
// description, its terminator (two zero bytes in the 16-bit encodings), the text.
Bytes CommentData(std::uint8_t encoding, const Bytes& description, const Bytes& text);

// One ID3v2 tag, built frame by frame. The header's size is the body's
// (extended header, frames, padding) unless set explicitly; the footer flag
// appends a footer.
class ID3v2Writer {
public:
    explicit ID3v2Writer(std::uint8_t version, std::uint8_t flags = 0);

    // A frame whose size field is written as this version writes it (2.4 syncsafe).
    ID3v2Writer& Frame(std::string_view id, const Bytes& data);
    // Encoding byte, then the text bytes as given.
    ID3v2Writer& Text(std::string_view id, std::uint8_t encoding, const Bytes& text);
    // An 8-bit text frame (encoding 0), its bytes as given.
    ID3v2Writer& Text(std::string_view id, std::string_view text) { return Text(id, 0, Latin(text)); }
    // A frame with its size field and flags as given, whatever the data.
    ID3v2Writer& RawFrame(std::string_view id, const Bytes& sizeField, const Bytes& data, const Bytes& flags = {0, 0});
    // Any bytes at this point of the body.
    ID3v2Writer& Raw(const Bytes& bytes);
    ID3v2Writer& Padding(std::size_t count);
    // The extended header: 2.3 stores its size without the size field, 2.4 with it.
    ID3v2Writer& ExtendedHeader(const Bytes& body);
    ID3v2Writer& SizeField(const Bytes& fourBytes);

    Bytes Build() const;

private:
    std::uint8_t version_;
    std::uint8_t flags_;
    Bytes body_;
    std::optional<Bytes> sizeField_;
};

// The fields of an ID3v1 tag, set by chained calls.
struct ID3v1Fields {
    std::string marker = "TAG";
    std::string title, artist, album, year;
    std::string comment;                // 30 bytes, or 28 with a track
    std::optional<std::uint8_t> track;  // version 1.1: zero byte, then the track
    std::uint8_t genre = 255;

    ID3v1Fields& Marker(std::string v) { marker = std::move(v); return *this; }
    ID3v1Fields& Title(std::string v) { title = std::move(v); return *this; }
    ID3v1Fields& Artist(std::string v) { artist = std::move(v); return *this; }
    ID3v1Fields& Album(std::string v) { album = std::move(v); return *this; }
    ID3v1Fields& Year(std::string v) { year = std::move(v); return *this; }
    ID3v1Fields& Comment(std::string v) { comment = std::move(v); return *this; }
    ID3v1Fields& Track(std::uint8_t v) { track = v; return *this; }
    ID3v1Fields& Genre(std::uint8_t v) { genre = v; return *this; }
};

// The 128 bytes; fields are cut to their width and padded with zeros.
Bytes ID3v1Tag(const ID3v1Fields& fields);

}  // namespace testing_support
