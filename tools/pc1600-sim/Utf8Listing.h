#pragma once

#include <optional>
#include <string>

// A listing written in UTF-8, in any editor, as the bytes the PC-1600 sends
// for it: ASCII as it is, every other character as its byte in the
// PC-1600's set. Nothing when a character is not in that set or the text is
// not UTF-8; `error` then names the line and the character.
std::optional<std::string> pc1600BytesOfUtf8(const std::string &utf8, std::string &error);
