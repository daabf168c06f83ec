#include "Utf8Listing.h"

#include "toolkit/CharacterSet.h"

#include <cstdio>

namespace {

// The length of the sequence a lead byte starts; 0 for a byte that starts
// none.
size_t sequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead < 0xC2)
        return 0; // a continuation byte, or an overlong lead
    if (lead < 0xE0)
        return 2;
    if (lead < 0xF0)
        return 3;
    return lead < 0xF5 ? 4 : 0;
}

// The code point that starts at `at`, its length in `length`; nothing for a
// sequence that is not UTF-8 (cut short, overlong, a surrogate, past
// U+10FFFF).
std::optional<char32_t> decode(const std::string &text, size_t at, size_t &length)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    length = sequenceLength(lead);
    if (length == 0 || at + length > text.size())
        return std::nullopt;
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return std::nullopt;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    static const char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || (code >= 0xD800 && code < 0xE000) || code > 0x10FFFF)
        return std::nullopt;
    return code;
}

} // namespace

std::optional<std::string> pc1600BytesOfUtf8(const std::string &utf8, std::string &error)
{
    std::string bytes;
    bytes.reserve(utf8.size());
    long line = 1;
    // An editor's byte order mark is no part of the listing.
    size_t at = utf8.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (size_t length = 0; at < utf8.size(); at += length) {
        const std::optional<char32_t> code = decode(utf8, at, length);
        if (!code) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(utf8[at]));
            error = "line " + std::to_string(line) + ": not UTF-8 (the byte " + hex + ")";
            return std::nullopt;
        }
        if (*code < 0x80) {
            bytes += char(*code);
            line += *code == '\n';
            continue;
        }
        const std::optional<unsigned char> byte = pc1600ByteOf(*code);
        if (!byte) {
            error = "line " + std::to_string(line) + ": '" + utf8.substr(at, length) +
                "' is not in the PC-1600's character set";
            return std::nullopt;
        }
        bytes += char(*byte);
    }
    return bytes;
}
