#pragma once

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QWidget>

#include "sim/AiObjects.h"

namespace tavoro {

// The second window: the AI-object list with the selected object's route, and the
// simulator log. It also lists filed flight plans, with the two lists hidden and the log
// box filling the window.
class TForm_objet : public QWidget {
    Q_OBJECT

public:
    // `objects` and `aircraft` are the object table and the clock the object view shows;
    // both outlive the window.
    TForm_objet(const AiObjects& objects, const AircraftState& aircraft, QWidget* parent = nullptr);

    // The simulator log: lines are appended, never removed.
    void AppendLog(const QString& line);

    // Object mode: both lists shown, the log box at its place beside them.
    void ShowObjectLayout();
    // Filed-plan mode: both lists hidden, the log box filling the window.
    void ShowPlanLayout();

    // The filed-plan listing: the window in filed-plan mode with `caption`, emptied and
    // shown; then one line per filed plan, also while the window is closed. The log box is
    // the simulator log too: a listing replaces what it held, and later log lines follow it.
    void ShowFiledPlans(const QString& caption);
    void AppendFiledPlan(const QString& line);

    // Object mode: the window presents the AI objects, not the filed plans.
    bool InObjectMode() const { return !ListBox1->isHidden(); }

    // The main menu's "objet": the object list and the zulu clock, in object mode.
    void objet1Click();
    // The route of the object whose line is `row` (the line's index is the slot index).
    void ListBox1Click(int row);

    QListWidget* ListBox1;
    QListWidget* ListBox2;
    QPlainTextEdit* Memo1;
    QLabel* Label1;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormResize();

    const AiObjects& objects_;
    const AircraftState& aircraft_;
};

}  // namespace tavoro
