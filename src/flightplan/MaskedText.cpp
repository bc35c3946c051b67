#include "flightplan/MaskedText.h"

#include "core/Fields.h"

namespace tavoro {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

MaskedText::MaskedText(std::string_view mask) {
    const FieldList fields = SplitText(mask, ';');
    std::string_view layout = Field(fields, 0);
    if (!layout.empty() && layout.front() == '!') {
        align_right_ = true;
        layout.remove_prefix(1);
    }
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const char c = layout[i];
        if (c == '0') {
            positions_.push_back({Kind::RequiredDigit, 0, 0});
        } else if (c == '9') {
            positions_.push_back({Kind::OptionalDigit, 0, 0});
        } else if (c == '\\' && i + 1 < layout.size()) {
            positions_.push_back({Kind::Literal, layout[++i], 0});
        } else {
            positions_.push_back({Kind::Literal, c, 0});
        }
    }
    literals_in_text_ = Field(fields, 1) != "0";
    if (!Field(fields, 2).empty()) {
        blank_ = Field(fields, 2).front();
    }
}

bool MaskedText::IsLiteral(std::size_t position) const {
    return position < positions_.size() && positions_[position].kind == Kind::Literal;
}

bool MaskedText::accepts(const Position& position, char c) const {
    return position.kind != Kind::Literal && isDigit(c);
}

std::string MaskedText::EditText() const {
    std::string text;
    for (const Position& p : positions_) {
        text += p.kind == Kind::Literal ? p.literal : (p.value ? p.value : blank_);
    }
    return text;
}

std::string MaskedText::Text() const {
    // The digit positions' characters, 0 for an unfilled one.
    std::string digits;
    for (const Position& p : positions_) {
        if (p.kind != Kind::Literal) {
            digits += p.value;
        }
    }
    if (align_right_) {
        const std::size_t first = digits.find_first_not_of('\0');
        digits.erase(0, first == std::string::npos ? digits.size() : first);
    } else {
        digits.erase(digits.find_last_not_of('\0') + 1);
    }
    for (char& c : digits) {
        if (c == '\0') {
            c = ' ';
        }
    }
    if (!literals_in_text_) {
        return digits;
    }
    // Laid out again over every position from the aligned end, blanks where nothing is left.
    std::string text(positions_.size(), ' ');
    std::size_t used = 0;
    for (std::size_t step = 0; step < positions_.size(); ++step) {
        const std::size_t at = align_right_ ? positions_.size() - 1 - step : step;
        const Position& p = positions_[at];
        if (p.kind == Kind::Literal) {
            text[at] = p.literal;
        } else if (used < digits.size()) {
            text[at] = align_right_ ? digits[digits.size() - 1 - used] : digits[used];
            ++used;
        }
    }
    return text;
}

void MaskedText::SetText(std::string_view text) {
    std::size_t used = 0;
    auto next = [&]() -> std::optional<char> {
        if (used >= text.size()) {
            return std::nullopt;
        }
        return align_right_ ? text[text.size() - 1 - used] : text[used];
    };
    for (std::size_t step = 0; step < positions_.size(); ++step) {
        const std::size_t at = align_right_ ? positions_.size() - 1 - step : step;
        Position& p = positions_[at];
        const std::optional<char> c = next();
        if (p.kind == Kind::Literal) {
            if (c == p.literal) {
                ++used;
            }
            continue;
        }
        p.value = c && accepts(p, *c) ? *c : 0;
        if (c) {
            ++used;
        }
    }
}

bool MaskedText::Type(std::size_t& cursor, char c) {
    std::size_t at = cursor;
    // The literal's own character steps over it.
    if (at < positions_.size() && positions_[at].kind == Kind::Literal &&
        positions_[at].literal == c) {
        while (at < positions_.size() && positions_[at].kind == Kind::Literal) {
            ++at;
        }
        cursor = at;
        return true;
    }
    while (at < positions_.size() && positions_[at].kind == Kind::Literal) {
        ++at;
    }
    if (at >= positions_.size()) {
        return false;
    }
    Position& p = positions_[at];
    if (accepts(p, c)) {
        p.value = c;
    } else if (c == ' ' && p.kind == Kind::OptionalDigit) {
        p.value = 0;
    } else {
        return false;
    }
    ++at;
    while (at < positions_.size() && positions_[at].kind == Kind::Literal) {
        ++at;
    }
    cursor = at;
    return true;
}

void MaskedText::Backspace(std::size_t& cursor) {
    std::size_t at = std::min(cursor, positions_.size());
    while (at > 0) {
        --at;
        if (positions_[at].kind != Kind::Literal) {
            positions_[at].value = 0;
            cursor = at;
            return;
        }
    }
    cursor = 0;
}

void MaskedText::Clear(std::size_t from, std::size_t to) {
    for (std::size_t at = from; at < to && at < positions_.size(); ++at) {
        positions_[at].value = 0;
    }
}

std::optional<std::size_t> MaskedText::FirstUnfilledRequired() const {
    for (std::size_t at = 0; at < positions_.size(); ++at) {
        if (positions_[at].kind == Kind::RequiredDigit && !positions_[at].value) {
            return at;
        }
    }
    return std::nullopt;
}

}  // namespace tavoro
