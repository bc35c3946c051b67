#include "core/Fields.h"

namespace tavoro {

FieldList SplitText(std::string_view text, char separator) {
    FieldList pieces;
    SplitTextInto(text, separator, pieces);
    return pieces;
}

void SplitTextInto(std::string_view text, char separator, FieldList& pieces) {
    std::size_t count = 0;
    const auto put = [&](std::string_view piece) {
        if (count < pieces.size()) {
            pieces[count].assign(piece);
        } else {
            pieces.emplace_back(piece);
        }
        ++count;
    };
    std::size_t start = 0;
    for (std::size_t at = text.find(separator); at != std::string_view::npos;
         at = text.find(separator, start)) {
        put(text.substr(start, at - start));
        start = at + 1;
    }
    put(text.substr(start));
    pieces.resize(count);
}

const std::string& Field(const FieldList& fields, std::size_t index) {
    static const std::string kMissing;
    return index < fields.size() ? fields[index] : kMissing;
}

std::string FieldAfter(const FieldList& fields, std::string_view type_word) {
    const std::string& first = Field(fields, 0);
    return first.size() > type_word.size() ? first.substr(type_word.size()) : std::string();
}

std::string JoinFields(const FieldList& fields, std::size_t first) {
    std::string joined;
    for (std::size_t i = first; i < fields.size(); ++i) {
        joined += fields[i];
    }
    return joined;
}

}  // namespace tavoro
