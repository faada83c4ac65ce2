// Writers of byte-exact tags and the fault-injecting byte source.
#include "TagWriter.h"

#include <algorithm>
#include <cstring>


namespace testing_support {

namespace {

constexpr std::size_t kID3v1Size = 128;
constexpr std::uint8_t kFooterFlag = 0x10;
constexpr std::size_t kSizeFieldWidth = 4;

void Put(Bytes& tag, std::size_t offset, std::size_t width, std::string_view text) {
    std::memcpy(tag.data() + offset, text.data(), std::min(width, text.size()));
}

}  // namespace

Bytes Latin(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Utf16LE(std::u16string_view text, bool mark) {
    Bytes bytes;
    if (mark) bytes = {0xFF, 0xFE};
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

Bytes Utf16BE(std::u16string_view text, bool mark) {
    Bytes bytes;
    if (mark) bytes = {0xFE, 0xFF};
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    }
    return bytes;
}

std::string Utf8(std::u16string_view text) {
    std::string utf8;
    auto put = [&utf8](unsigned byte) { utf8.push_back(static_cast<char>(byte)); };
    for (char16_t c : text) {
        if (c < 0x80) {
            put(c);
        } else if (c < 0x800) {
            put(0xC0u | c >> 6);
            put(0x80u | (c & 0x3Fu));
        } else {
            put(0xE0u | c >> 12);
            put(0x80u | (c >> 6 & 0x3Fu));
            put(0x80u | (c & 0x3Fu));
        }
    }
    return utf8;
}

Bytes Syncsafe(std::uint32_t value) {
    return {static_cast<std::uint8_t>((value >> 21) & 0x7F), static_cast<std::uint8_t>((value >> 14) & 0x7F),
            static_cast<std::uint8_t>((value >> 7) & 0x7F), static_cast<std::uint8_t>(value & 0x7F)};
}

Bytes BigEndian(std::uint64_t value, std::size_t width) {
    Bytes bytes(width);
    for (std::size_t i = 0; i < width; ++i) bytes[width - 1 - i] = static_cast<std::uint8_t>(value >> (8 * i));
    return bytes;
}

Bytes LittleEndian(std::uint64_t value, std::size_t width) {
    Bytes bytes = BigEndian(value, width);
    std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

void Append(Bytes& bytes, const Bytes& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) Append(all, part);
    return all;
}

Bytes CommentData(std::uint8_t encoding, const Bytes& description, const Bytes& text) {
    const bool wide = encoding == 1 || encoding == 2;
    return Concat({{encoding}, Latin("eng"), description, wide ? Bytes{0, 0} : Bytes{0}, text});
}

ID3v2Writer::ID3v2Writer(std::uint8_t version, std::uint8_t flags) : version_(version), flags_(flags) {}

ID3v2Writer& ID3v2Writer::Frame(std::string_view id, const Bytes& data) {
    Bytes size;
    if (version_ == 2) {
        size = BigEndian(data.size(), 3);
    } else if (version_ == 4) {
        size = Syncsafe(static_cast<std::uint32_t>(data.size()));
    } else {
        size = BigEndian(data.size(), kSizeFieldWidth);
    }
    return RawFrame(id, size, data, version_ == 2 ? Bytes{} : Bytes{0, 0});
}

ID3v2Writer& ID3v2Writer::Text(std::string_view id, std::uint8_t encoding, const Bytes& text) {
    return Frame(id, Concat({{encoding}, text}));
}

ID3v2Writer& ID3v2Writer::RawFrame(std::string_view id, const Bytes& sizeField, const Bytes& data, const Bytes& flags) {
    Append(body_, Latin(id));
    Append(body_, sizeField);
    if (version_ != 2) Append(body_, flags);
    Append(body_, data);
    return *this;
}

ID3v2Writer& ID3v2Writer::Raw(const Bytes& bytes) {
    Append(body_, bytes);
    return *this;
}

ID3v2Writer& ID3v2Writer::Padding(std::size_t count) {
    body_.insert(body_.end(), count, 0);
    return *this;
}

ID3v2Writer& ID3v2Writer::ExtendedHeader(const Bytes& body) {
    if (version_ == 4) {
        Append(body_, Syncsafe(static_cast<std::uint32_t>(kSizeFieldWidth + body.size())));
    } else {
        Append(body_, BigEndian(body.size(), kSizeFieldWidth));
    }
    Append(body_, body);
    return *this;
}

ID3v2Writer& ID3v2Writer::SizeField(const Bytes& fourBytes) {
    sizeField_ = fourBytes;
    return *this;
}

Bytes ID3v2Writer::Build() const {
    const Bytes size = sizeField_ ? *sizeField_ : Syncsafe(static_cast<std::uint32_t>(body_.size()));
    Bytes tag = Concat({Latin("ID3"), {version_, 0, flags_}, size, body_});
    if ((flags_ & kFooterFlag) != 0) Append(tag, Concat({Latin("3DI"), {version_, 0, flags_}, size}));
    return tag;
}

Bytes ID3v1Tag(const ID3v1Fields& fields) {
    Bytes tag(kID3v1Size, 0);
    Put(tag, 0, 3, fields.marker);
    Put(tag, 3, 30, fields.title);
    Put(tag, 33, 30, fields.artist);
    Put(tag, 63, 30, fields.album);
    Put(tag, 93, 4, fields.year);
    if (fields.track) {
        Put(tag, 97, 28, fields.comment);
        tag[125] = 0;
        tag[126] = *fields.track;
    } else {
        Put(tag, 97, 30, fields.comment);
    }
    tag[127] = fields.genre;
    return tag;
}

}  // namespace testing_support
