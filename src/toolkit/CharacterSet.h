#pragma once

// The character sets a listing's bytes are drawn in. Plain C++, so that
// pc1600-sim, which has no Qt, writes listings in the same set.

#include <array>
#include <optional>
#include <string_view>

enum class CharacterSet {
    // What the PC-1600 shows in its usual MODE 0: ASCII, and code page 437
    // from 128 up (international letters, Greek, signs, box and block
    // graphics).
    Pc1600,
    // ISO 8859-1, from 160 up.
    Latin1,
};

// The character each byte is drawn as, a Unicode code point; 0 for a byte
// that is not drawn: the control codes below 32 (line ends and tabs are the
// layout's) and 127.
using CharacterTable = std::array<char16_t, 256>;

const CharacterTable &characterTable(CharacterSet set);

// The sets by the names the command-line programs take.
struct CharacterSetName {
    std::string_view name;
    CharacterSet set;
};
inline constexpr std::array<CharacterSetName, 2> kCharacterSetNames {{
    {"pc1600", CharacterSet::Pc1600},
    {"latin1", CharacterSet::Latin1},
}};

std::optional<CharacterSet> characterSetNamed(std::string_view name);

// The PC-1600's byte for a character, 128 to 255, or nothing when its set
// has no such character above 127.
std::optional<unsigned char> pc1600ByteOf(char32_t character);
