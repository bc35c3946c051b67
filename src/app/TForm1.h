#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <array>
#include <functional>

#include "app/Dialogs.h"
#include "app/StatePanel.h"
#include "atc/AtcListBox.h"
#include "atc/PositionReports.h"
#include "atc/ServerLink.h"
#include "core/Settings.h"
#include "sim/SimulatorLink.h"

namespace tavoro {

// What the main window works with; all of it outlives the window.
struct MainWindowContext {
    Settings& settings;
    ServerLink& link;
    SimulatorLink& sim_link;
    PositionReports& reports;
    AtcList& atc_list;
    AtisSelection& atis;
    const AircraftState& aircraft;
    const AircraftIdentity& identity;
    Dialogs& dialogs;
    QString executable_folder;
    QString working_folder;
};

// The main window: the three state panels and the aircraft labels along the top, four
// panels in one place of which at most one shows, the status bar, the main menu and the
// timers. Its handlers are short: the work belongs to the subsystems, which the
// composition root connects to the signals below. The start-up and close steps are the
// composition root's too; the window only says when it was shown or is closing.
class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    static constexpr char kCaption[] = "Tavoro 3.81";

    // Builds the widgets and binds them to the links; nothing is read or opened yet.
    explicit TForm1(MainWindowContext context, QWidget* parent = nullptr);

    // The texts of the two status-bar panels; each write replaces the panel's text.
    void SetStatusText(int panel, const QString& text);
    QString StatusText(int panel) const;

    // The simulator menu's "Afficher": back at 10, 10 from the screen's top left, restored.
    void Afficher();
    // The simulator menu's "Masquer", and the "X" button: the window goes to the task bar.
    void Masquer();

    const QString& working_folder() const { return context_.working_folder; }

    // Top row.
    StatePanel* Panel_FSX;
    StatePanel* Panel_server;
    QLabel* Label_ID;
    QLabel* Label_airline;
    QLabel* Label_xpd;
    StatePanel* Panel_charly;

    // The four panels.
    QWidget* Panel_param;
    QWidget* Panel_ATC;
    QWidget* Panel_FP;
    QWidget* Panel_meteo;

    // Settings panel.
    QWidget* Panel_atc_server;
    QLabel* Label_server;
    QLineEdit* Edit_serveradresse;
    QLineEdit* Edit_serverport;
    QWidget* Panel_TS;
    QWidget* Panel_div;
    QCheckBox* CheckBox_atis;

    // ATC list panel.
    QListWidget* ListBox_ATC;

    QPushButton* Button2;

    // Menu.
    QMenuBar* MainMenu1;
    QAction* listeATC1;
    QAction* Plandevol1;
    QAction* meteo1;
    QAction* parametres1;
    QMenu* FPdeposs1;
    QAction* tous1;
    QAction* pardate1;
    QAction* objet1;

signals:
    // Where later subsystems take over; each is emitted at the step that needs it.
    void weatherRequested();
    void allFiledPlansRequested();
    void filedPlansByDateRequested();
    void objectViewRequested();
    // The window was shown (FormShow): the simulator is looked for.
    void shown();
    // The window is closing (FormClose): the close step runs and the program ends.
    void closed();
    // The window repainted (FormPaint): the flight-plan panel applies its state.
    void painted();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void buildTopRow(QWidget* central);
    void buildPanels(QWidget* central);
    void buildMenu();
    void buildStatusBar();
    void showOnly(QWidget* panel);
    void paintServerPanel();
    void paintSimulatorPanel();
    void showIdentity();
    void showAircraftState();

    void FormShow();
    void FormActivate();
    void FormClose();
    void FormPaint();
    void listeATC1Click();
    void ListBox_ATCClick(QListWidgetItem* item);
    void parametres1Click();
    void Panel_FSXClick();
    void Panel_serverClick();
    void Panel_charlyClick();
    void Button2Click();

    MainWindowContext context_;
    std::array<QLabel*, 2> status_panels_{};
    // The binding of ListBox_ATC: the "liste ATC" menu and clicks on the box go to it.
    AtcListBox* atc_list_box_ = nullptr;
};

}  // namespace tavoro
