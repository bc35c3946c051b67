#pragma once

#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

namespace tavoro {

// Texts from the configuration file, the server and the simulator are 8-bit bytes and
// stay bytes (std::string) in the logic; only the widgets see QString.

std::string_view TrimBlanks(std::string_view text);

// ASCII letters compared without regard to case; other bytes must be equal.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);
// `text` with A to Z folded to lower case, as EqualsIgnoringCase folds them.
std::string AsciiLower(std::string_view text);

bool StartsWith(std::string_view text, std::string_view prefix);

// Bytes for display: UTF-8 when they are valid UTF-8 (what files written on Linux hold),
// otherwise one character per byte, as the 8-bit texts of Windows peers are.
QString ToDisplay(std::string_view bytes);

// What a widget holds, back to the bytes the logic and the wire use.
std::string FromDisplay(const QString& text);

// File paths held as UTF-8 text, as the program keeps them, whatever the system's own
// encoding of paths: on Windows a narrow path would be read in the ANSI code page, and a
// folder named with an accent would not be found.
std::filesystem::path Utf8Path(std::string_view utf8);
std::string PathText(const std::filesystem::path& path);

}  // namespace tavoro
