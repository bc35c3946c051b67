#pragma once

#include <QListWidget>
#include <QObject>
#include <cstddef>
#include <cstdint>

#include "atc/AtcStations.h"

namespace tavoro {

// Binds ListBox_ATC to the station table: clicks go to the table, and the table's lines
// come to the box when Flush is called, once per receive tick and at once after each
// user action. Between two flushes the box is rebuilt at most once, whatever number of
// rebuilds the table saw.
class AtcListBox : public QObject {
    Q_OBJECT

public:
    AtcListBox(QListWidget& list_box, AtcStations& stations, QObject* parent = nullptr);

    // Brings the box up to what the table shows: emptied and filled when the table
    // rebuilt its list since the last flush, otherwise only the lines appended since.
    void Flush();

    // The "liste ATC" menu (the window has already shown the panel).
    void listeATC1Click();
    void ListBox_ATCClick(QListWidgetItem* item);

private:
    QListWidget& list_box_;
    AtcStations& stations_;
    std::uint64_t shown_generation_ = 0;
    std::size_t shown_lines_ = 0;
};

}  // namespace tavoro
