#pragma once

#include <QListWidget>
#include <QObject>
#include <cstddef>
#include <cstdint>

#include "atc/AtcList.h"
#include "atc/AtisSelection.h"

namespace tavoro {

// Binds ListBox_ATC to the ATC list: the list's lines come to the box when Flush is
// called, once per receive tick and at once after each user action, and a line the
// window reports clicked goes to the ATIS selection. Between two flushes the box is
// rebuilt at most once, whatever number of rebuilds the list saw.
class AtcListBox : public QObject {
    Q_OBJECT

public:
    AtcListBox(QListWidget& list_box, AtcList& list, AtisSelection& selection,
               QObject* parent = nullptr);

    // Brings the box up to what the list shows: emptied and filled when the list was
    // rebuilt since the last flush, otherwise only the lines appended since.
    void Flush();

    // The "liste ATC" menu's work (the window has already shown the panel): the list
    // shows the stations again, from where the aircraft is now.
    void ShowStations();
    // A click on `item` of the box: the station on that line, if any, is selected.
    void SelectLine(QListWidgetItem* item);

private:
    QListWidget& list_box_;
    AtcList& list_;
    AtisSelection& selection_;
    std::uint64_t shown_generation_ = 0;
    std::size_t shown_lines_ = 0;
};

}  // namespace tavoro
