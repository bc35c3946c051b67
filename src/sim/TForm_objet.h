#pragma once

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QWidget>

namespace tavoro {

// The second window: the AI-object list with the selected object's route, and the
// simulator log. It also lists filed flight plans, with the two lists hidden and the log
// box filling the window.
class TForm_objet : public QWidget {
    Q_OBJECT

public:
    explicit TForm_objet(QWidget* parent = nullptr);

    // The simulator log: lines are appended, never removed.
    void AppendLog(const QString& line);

    // Object mode: both lists shown, the log box at its place beside them.
    void ShowObjectLayout();
    // Filed-plan mode: both lists hidden, the log box filling the window.
    void ShowPlanLayout();

    QListWidget* ListBox1;
    QListWidget* ListBox2;
    QPlainTextEdit* Memo1;
    QLabel* Label1;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormResize();
};

}  // namespace tavoro
