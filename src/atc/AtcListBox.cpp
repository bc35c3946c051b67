#include "atc/AtcListBox.h"

#include <QFont>
#include <QStringList>

#include "core/Text.h"

namespace tavoro {

AtcListBox::AtcListBox(QListWidget& list_box, AtcList& list, AtisSelection& selection,
                       QObject* parent)
    : QObject(parent),
      list_box_(list_box),
      list_(list),
      selection_(selection),
      shown_generation_(list.list_generation()) {
    // A proportional font: the columns are padded by character count only, as the
    // station lines are formed.
    QFont font(QStringLiteral("Times New Roman"));
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(11);
    list_box_.setFont(font);
    // Thousands of lines: the box need not measure each one.
    list_box_.setUniformItemSizes(true);
    Flush();
}

void AtcListBox::Flush() {
    if (shown_generation_ != list_.list_generation()) {
        list_box_.clear();
        shown_generation_ = list_.list_generation();
        shown_lines_ = 0;
    }
    const std::size_t count = list_.line_count();
    if (shown_lines_ >= count) {
        return;
    }
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(count - shown_lines_));
    for (std::size_t i = shown_lines_; i < count; ++i) {
        lines.append(ToDisplay(list_.line(i)));
    }
    list_box_.addItems(lines);
    shown_lines_ = count;
}

void AtcListBox::ShowStations() {
    list_.RefreshAtcList();
    Flush();
}

void AtcListBox::SelectLine(QListWidgetItem* item) {
    // A click on a list rebuilt since it was drawn (in the moment between a rebuild and
    // its flush) names a line that is no longer there: it only brings the box up to
    // date. Otherwise the box holds the list's lines, so the item's row is the line.
    if (item == nullptr || shown_generation_ != list_.list_generation()) {
        Flush();
        return;
    }
    selection_.SelectStation(list_box_.row(item));
    Flush();
}

}  // namespace tavoro
