#pragma once

#include <QCheckBox>
#include <QDate>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <functional>
#include <optional>
#include <string>

#include "core/Aircraft.h"
#include "core/Fields.h"
#include "flightplan/FlightPlan.h"
#include "flightplan/MaskEdit.h"
#include "flightplan/PlanCharge.h"
#include "flightplan/PlanFiling.h"
#include "flightplan/PlanStates.h"
#include "flightplan/RouteEditing.h"

namespace tavoro {

class IniFile;

// What the plan panel reaches beyond the plan: the user, the configuration, the simulator,
// the server and the filed-plan window, each as the composition root provides it.
struct PlanPanelServices {
    // A message box with a user's mistake, and one with an error.
    std::function<void(const QString& text)> show_message;
    std::function<void(const QString& text)> show_error;
    ChooseFile choose_file;
    EnterLineFunction enter_line;
    // Status-bar panel 0 or 1.
    std::function<void(int panel, const QString& text)> show_status;

    // [FSX_plan] path: the file, the value read at start-up, and where the open dialog
    // starts when none is remembered.
    IniFile* config = nullptr;
    std::string* plan_folder = nullptr;
    std::string working_folder;
    // The remembered folder could not be written to the configuration file.
    std::function<void()> config_unwritable;

    ReadSimulator read_simulator;
    WriteSimulator write_simulator;
    // Shows a short text in the simulator; the status text for panel 0 when it failed.
    std::function<std::optional<std::string>(const std::string& text)> show_in_simulator;

    // The aircraft: its model is the plan's aircraft type.
    const AircraftIdentity* identity = nullptr;
    std::function<bool()> logged_in;
    // Sends the "$FP" line; false when it could not be sent.
    std::function<bool(const FlightPlanLine& values)> send_plan;
    // Sends the filed-plan query: all plans, or those of a date as typed.
    std::function<void(const std::optional<std::string>& date)> query_filed_plans;

    // The filed-plan window: set up with its caption, emptied and shown; then one line per
    // filed plan.
    std::function<void(const QString& caption)> open_filed_plans;
    std::function<void(const QString& line)> list_filed_plan;

    // Asks the main window to repaint, which applies the panel state again.
    std::function<void()> repaint;

    // The short date format's locale (the system's) and today's date.
    QLocale locale = QLocale::system();
    std::function<QDate()> today = [] { return QDate::currentDate(); };
};

// The flight-plan panel Panel_FP: its boxes mirror the one FlightPlan, its route list edits
// the route through its context menu, its buttons load, file, unlock and delete the plan,
// and the server's answers about filed plans come to it. The widgets sit where the panel
// was drawn and carry the names used throughout the code.
class PlanPanel : public QObject {
    Q_OBJECT

public:
    // Builds the panel's widgets inside `panel`, which owns them and this binding.
    PlanPanel(QWidget& panel, FlightPlan& plan, PlanPanelServices services);

    // Locks or unlocks the boxes and shows the two labels from the plan's flags. Runs on
    // every repaint of the main window and after every change of the flags.
    void ApplyPanelState();
    // The main window's show step: the date box shows today.
    void FormShow();

    void Button_chargeClick();
    void Button_envoiClick();
    void Button_modifClick();
    void Button_supClick();
    void CheckBox_ifrClick();
    void Edit_departExit();
    void Edit_destExit();
    void Edit_alternateExit();
    void Edit_dateExit();
    void supprimer1Click();
    void insrer1Click();
    void ajouter1Click();
    void entrerlaroute1Click();
    // The main menu's "FP deposés": all filed plans, or those of one date.
    void tous1Click();
    void pardate1Click();

    // The server's answers, from the dispatcher.
    void FilingAcknowledged(const FieldList& fields);
    void OwnFiledPlan(const FieldList& fields);
    void FiledPlanListed(const FieldList& fields);

    QWidget& Panel_FP;
    QLabel* Label_titre;
    QLabel* Label13;
    QLineEdit* Edit_depart;
    QLabel* Label14;
    QLineEdit* Edit_dest;
    QCheckBox* CheckBox_ifr;
    QLabel* Label15;
    QLineEdit* Edit_alternate;
    QLabel* Label_alt;
    MaskEdit* MaskEdit_fl;
    QLabel* Label16;
    MaskEdit* MaskEdit_vitesse;
    QListWidget* ListBox2;
    QLabel* Label17;
    QLineEdit* Edit_date;
    QLabel* Label18;
    MaskEdit* MaskEdit_act;
    QPlainTextEdit* Memo1;
    QLabel* Label19;
    MaskEdit* MaskEdit_enroute;
    QLabel* Label20;
    MaskEdit* MaskEdit_fuel;
    QPushButton* Button_charge;
    QPushButton* Button_sup;
    QPushButton* Button_modif;
    QPushButton* Button_envoi;
    QLabel* Label_fpdepose;
    QLabel* Label_fpactif;

    QMenu* PopupMenu_route;
    QAction* supprimer1;
    QAction* insrer1;
    QAction* ajouter1;
    QAction* entrerlaroute1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void bind();
    // Writes the boxes a plan file fills from the plan.
    void showLoadedPlan(PlanFileForm form);
    void showRoute();
    void routeEdited(const RouteEditResult& result);
    std::optional<std::size_t> selectedPoint() const;
    void airportExit(QLineEdit* box, std::string FlightPlan::*field);
    void setDateRejected(bool rejected);
    // The flags changed: the panel state now, and the main window repaints.
    void stateChanged();
    QDate today() const;
    void message(std::string_view text);

    FlightPlan& plan_;
    PlanPanelServices services_;
    // The date box's text was refused: it stays red, also through repaints, until a date is
    // accepted, since the repaint's "window colour" would otherwise hide the refusal at once.
    bool date_rejected_ = false;
};

}  // namespace tavoro
