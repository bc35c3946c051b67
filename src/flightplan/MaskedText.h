#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavoro {

// The text of a masked box, by the mask notation of the plan panel's boxes
// (which is not Qt's inputMask). A mask has up to three fields separated by ";":
// - the positions: "0" a required digit, "9" an optional digit, "\" makes the next
//   character a literal, any other character is a literal; a leading "!" puts omitted
//   optional digits on the left (the text is aligned right) instead of on the right;
// - "1" when the literals are part of the box's text, "0" when not (default "1");
// - the character shown in an unfilled position (default "_").
class MaskedText {
public:
    explicit MaskedText(std::string_view mask);

    // The number of positions: the most characters the box holds.
    std::size_t size() const { return positions_.size(); }
    bool IsLiteral(std::size_t position) const;

    // What the box shows: every position, an unfilled one as the blank character.
    std::string EditText() const;

    // What the box's text reads back as. The unfilled positions at the aligned end are
    // dropped, the others read as blanks; with literals kept the text is laid out over
    // every position again, so it always has the mask's length.
    std::string Text() const;

    // Fills the box from a text, as the system writes one: the characters meet the
    // positions from the aligned end; a literal of the mask in the text passes its literal,
    // a character that does not fit its position (a blank) leaves it unfilled.
    void SetText(std::string_view text);

    // A keystroke at `cursor` (0 is before the first position). A digit fills the next
    // digit position, a blank empties an optional one, the next literal's own character
    // steps over it; the cursor then moves past the filled position and any literals after
    // it. Returns false, changing nothing, for a character that fits nowhere.
    bool Type(std::size_t& cursor, char c);
    // Empties the digit position before `cursor` and moves the cursor there.
    void Backspace(std::size_t& cursor);
    // Empties the digit positions from `from` up to `to` (not included).
    void Clear(std::size_t from, std::size_t to);

    // The first required position still unfilled: where the cursor goes when the user leaves
    // a changed box that is not complete.
    std::optional<std::size_t> FirstUnfilledRequired() const;

private:
    enum class Kind { Literal, RequiredDigit, OptionalDigit };
    struct Position {
        Kind kind;
        char literal;  // for literals
        char value;    // 0 while unfilled
    };

    bool accepts(const Position& position, char c) const;

    std::vector<Position> positions_;
    bool literals_in_text_ = true;
    bool align_right_ = false;
    char blank_ = '_';
};

inline constexpr std::string_view kIncompleteMaskMessage =
    "Valeur d'entrée incorrecte. Utiliser Echap pour abandonner les modifications";

}  // namespace tavoro
