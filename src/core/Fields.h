#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavoro {

// The pieces of a text cut by SplitText: the fields of a protocol line (cut at ":"), the
// legs of a route, the values of a plan-file line.
using FieldList = std::vector<std::string>;

// Cuts `text` at every `separator`: n separators give n + 1 pieces, empty pieces
// count, and the piece after the last separator is always there.
FieldList SplitText(std::string_view text, char separator);
// The same into `pieces`, whose strings are reused: a loop over lines of like shape (a
// burst of station lines) then allocates almost nothing after the first.
void SplitTextInto(std::string_view text, char separator, FieldList& pieces);

// The one rule for reading received lines: a field the line does not have reads as the
// empty text. Handlers therefore never read past the last field, and a short line behaves
// like one whose missing fields were sent empty.
const std::string& Field(const FieldList& fields, std::size_t index);

// Field 0 after a type word glued to a callsign ("#AA" + "LFPG_TWR"): the text after as
// many characters as the word has.
std::string FieldAfter(const FieldList& fields, std::string_view type_word);

// Fields `first` to the last, joined with nothing between them.
std::string JoinFields(const FieldList& fields, std::size_t first);

}  // namespace tavoro
