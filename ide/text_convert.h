#pragma once
// Bytes and the editor's characters, one to one (Latin-1). The editor holds lines, so CR LF
// becomes a line break and comes back as CR LF; a CR that ends no line is shown as a visible
// mark and comes back as CR.

#include <QString>
#include <string>
#include <string_view>

namespace orvo::ide {

// Mark for a CR that is not followed by LF (SYMBOL FOR CARRIAGE RETURN).
inline constexpr char16_t kLoneCrMark = u'\u240D';

// Bytes -> editor text: CR LF -> '\n', lone CR -> mark, every other byte -> U+0000..U+00FF.
QString To_EditorString(std::string_view bytes);
// Editor text -> bytes: line and paragraph breaks -> CR LF, mark -> CR, characters beyond
// U+00FF (pasted text) -> '?'.
std::string From_EditorString(const QString& text);

// Message text for a box: CR and CR LF become line breaks, bytes map as Latin-1.
QString To_BoxString(std::string_view bytes);

// One row of raw bytes as characters for the Char column; control characters show as '.'.
QString To_CharColumn(std::string_view bytes);

}  // namespace orvo::ide
