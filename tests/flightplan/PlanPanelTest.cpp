#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/IniFile.h"
#include "flightplan/PlanFixtures.h"
#include "flightplan/PlanPanel.h"
#include "support/EventLoop.h"

namespace tavoro {
namespace {

using test::RealPlan;
using test::WaitUntil;

const QDate kToday(2026, 3, 14);
const QColor kYellow(255, 255, 0);
const QColor kRed(255, 0, 0);

constexpr char kIfrPlan[] = "fsx_IFR_Los_Angeles_Intl_to_San_Francisco_Intl.PLN";
constexpr char kVfrPlan[] = "fsx_VFR_Gillespie_to_Van_Nuys.PLN";
constexpr char kIniPlan[] = "fs9_EGCCOMDB12L.PLN";
constexpr char kBinary[] = "fs9_BINARY_nav3Sven_afr_first.pln";

// "$FPDEPOT" for F-GTAV, as a controller sends the plan back.
FieldList ServerCopy(const std::string& date = "20/03/2026") {
    return {"$FPDEPOT", "F-GTAV", "I",  "C172SP", "450", "LIRF", date,       "930", "120",
            "LIRN",     "01",     "45", "04",     "30",  "LIRQ", " amended", "A/B"};
}

// The plan panel in a window of its own, shown and active, with a user, a simulator, a
// server and a filed-plan window played by the test. Everything the panel asks of them is
// recorded in order, as one line each.
class PlanPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_.resize(520, 320);
        frame_ = new QFrame(&window_);
        frame_->setGeometry(2, 24, 512, 290);
        identity_.atc_identifier = "F-GTAV";
        identity_.atc_model = "C172SP";
        config_path_ = folder_.Path("corvanta.ini");
        test::WriteBytes(config_path_, "[FSX_plan]\npath=" + folder_.Path("plans") + "/\n");
        config_ = std::make_unique<IniFile>(config_path_);
        plan_folder_ = folder_.Path("plans") + "/";
        panel_ = new PlanPanel(*frame_, plan_, services());
        window_.show();
        window_.activateWindow();
        ASSERT_TRUE(WaitUntil([&] { return window_.isActiveWindow(); }));
    }

    PlanPanelServices services() {
        PlanPanelServices s;
        s.show_message = [this](const QString& text) { record("message " + text); };
        s.show_error = [this](const QString& text) { record("error " + text); };
        s.choose_file = [this](const FileDialogRequest& request) {
            record("dialog " + QString::fromStdString(request.title));
            return answer(files_);
        };
        s.enter_line = [this](const EntryRequest& request) {
            record("entry " + QString::fromStdString(request.caption) + " [" +
                   QString::fromStdString(request.initial_text) + "]");
            if (during_entry_) {
                during_entry_();
            }
            return answer(entries_);
        };
        s.show_status = [this](int panel, const QString& text) {
            record(QStringLiteral("status %1 ").arg(panel) + text);
        };
        s.config = config_.get();
        s.plan_folder = &plan_folder_;
        s.working_folder = "/working/";
        s.read_simulator = [this](std::uint32_t, std::uint32_t) {
            SimulatorRead read;
            read.bytes = simulator_path_ + std::string(1, '\0');
            return read;
        };
        s.write_simulator = [this](std::uint32_t offset, const std::string& bytes) {
            record(QStringLiteral("write %1 %2 bytes").arg(offset).arg(bytes.size()));
            return SimulatorWrite{write_outcome_, "Link not open"};
        };
        s.show_in_simulator = [this](const std::string& text) {
            record("simulator " + QString::fromStdString(text));
            return simulator_failure_;
        };
        s.identity = &identity_;
        s.logged_in = [this] { return logged_in_; };
        s.send_plan = [this](const FlightPlanLine& values) {
            sent_.push_back(values);
            record("sent");
            return send_works_;
        };
        s.query_filed_plans = [this](const std::optional<std::string>& date) {
            record("query " + (date ? QString::fromStdString(*date) : QString("TOUS")));
        };
        s.open_filed_plans = [this](const QString& caption) { record("window " + caption); };
        s.list_filed_plan = [this](const QString& line) { record("listed " + line); };
        s.repaint = [this] { ++repaints_; };
        s.locale = QLocale("fr_FR");
        s.today = [] { return kToday; };
        return s;
    }

    void record(const QString& event) { events_.push_back(event.toStdString()); }

    static std::optional<std::string> answer(std::deque<std::optional<std::string>>& queue) {
        if (queue.empty()) {
            return std::nullopt;
        }
        std::optional<std::string> next = queue.front();
        queue.pop_front();
        return next;
    }

    QStringList routeShown() const {
        QStringList points;
        for (int i = 0; i < panel_->ListBox2->count(); ++i) {
            points << panel_->ListBox2->item(i)->text();
        }
        return points;
    }

    // Types `text` as keystrokes; letters beyond ASCII too.
    static void type(QWidget* box, const QString& text) {
        for (QChar c : text) {
            QTest::sendKeyEvent(QTest::Press, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }

    // Leaves `box` for the next box, as a Tab would.
    void leave(QWidget* box) {
        box->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(WaitUntil([&] { return box->hasFocus(); }));
        QWidget* next = box == panel_->Edit_dest ? static_cast<QWidget*>(panel_->Edit_depart)
                                                 : static_cast<QWidget*>(panel_->Edit_dest);
        next->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(WaitUntil([&] { return next->hasFocus(); }));
    }

    test::PlanFolder folder_;
    std::string config_path_;
    std::unique_ptr<IniFile> config_;
    std::string plan_folder_;
    QWidget window_;
    QFrame* frame_ = nullptr;
    FlightPlan plan_;
    PlanPanel* panel_ = nullptr;
    AircraftIdentity identity_;

    std::vector<std::string> events_;
    std::deque<std::optional<std::string>> entries_;
    std::deque<std::optional<std::string>> files_;
    std::function<void()> during_entry_;
    std::string simulator_path_;
    SimulatorWrite::Outcome write_outcome_ = SimulatorWrite::Outcome::Written;
    std::optional<std::string> simulator_failure_;
    bool logged_in_ = true;
    bool send_works_ = true;
    std::vector<FlightPlanLine> sent_;
    int repaints_ = 0;
};

TEST_F(PlanPanelTest, EveryControlSitsWhereThePanelWasDrawn) {
    struct {
        const char* name;
        int x, y;
        int width, height;  // 0: as its text needs
        const char* caption;
    } const controls[] = {
        {"Label_titre", 16, 4, 0, 0, "Titre:"},
        {"Label13", 8, 24, 0, 0, "Depart:"},
        {"Edit_depart", 48, 24, 50, 21, ""},
        {"Label14", 112, 24, 0, 0, "Destination:"},
        {"Edit_dest", 176, 24, 50, 21, ""},
        {"CheckBox_ifr", 248, 24, 41, 17, "IFR"},
        {"Label15", 320, 24, 0, 0, "Alternate:"},
        {"Edit_alternate", 376, 24, 50, 21, ""},
        {"Label_alt", 8, 56, 0, 0, "FL:"},
        {"MaskEdit_fl", 24, 56, 25, 21, "___"},
        {"Label16", 54, 56, 0, 0, "vitesse"},
        {"MaskEdit_vitesse", 90, 56, 31, 21, "___"},
        {"ListBox2", 136, 48, 368, 73, nullptr},
        {"Label17", 16, 96, 0, 0, "date"},
        {"Edit_date", 56, 88, 65, 21, ""},
        {"Label18", 16, 120, 0, 0, "Zulu"},
        {"MaskEdit_act", 72, 112, 49, 21, "__:__"},
        {"Memo1", 136, 128, 368, 41, nullptr},
        {"Label19", 8, 160, 0, 0, "time enroute"},
        {"MaskEdit_enroute", 72, 152, 49, 21, "__:__"},
        {"Label20", 8, 184, 0, 0, "time fuel"},
        {"MaskEdit_fuel", 72, 176, 49, 21, "__:__"},
        {"Button_charge", 136, 176, 105, 17, "charger un plan FSX"},
        {"Button_sup", 248, 176, 97, 17, "supprimer le plan"},
        {"Button_modif", 360, 176, 89, 17, "modifier le plan"},
        {"Button_envoi", 136, 200, 81, 17, "Envoi du plan"},
        {"Label_fpdepose", 144, 224, 0, 0, "Deposé"},
        {"Label_fpactif", 136, 248, 0, 0, "plan de vol Actif"},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        auto* widget = frame_->findChild<QWidget*>(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->pos(), QPoint(c.x, c.y));
        if (c.width) {
            EXPECT_EQ(widget->size(), QSize(c.width, c.height));
        }
        if (!c.caption) {
            continue;
        }
        QString caption;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            caption = label->text();
            // A caption is shown whole.
            EXPECT_GE(label->width(), label->sizeHint().width());
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            caption = button->text();
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            caption = edit->text();
        }
        EXPECT_EQ(caption, c.caption);
    }
    EXPECT_EQ(panel_->ListBox2->toolTip(), "click droit pour entrez la route");
    EXPECT_EQ(panel_->Memo1->toolTip(), "commentaires");
    // What the boxes read back at start: blanks for level and speed, an empty time, the
    // ":" of the kept literals, one empty comment line.
    EXPECT_EQ(panel_->MaskEdit_fl->value(), "   ");
    EXPECT_EQ(panel_->MaskEdit_vitesse->value(), "   ");
    EXPECT_EQ(panel_->MaskEdit_act->value(), "");
    EXPECT_EQ(panel_->MaskEdit_enroute->value(), "  :  ");
    EXPECT_EQ(panel_->MaskEdit_fuel->value(), "  :  ");
    EXPECT_EQ(panel_->Memo1->toPlainText(), "\n");
    EXPECT_TRUE(panel_->Label_fpdepose->isHidden());
    EXPECT_TRUE(panel_->Label_fpactif->isHidden());
    EXPECT_EQ(panel_->Label_fpdepose->palette().color(QPalette::Window), kYellow);
    EXPECT_EQ(panel_->Label_fpactif->palette().color(QPalette::Window), QColor(0, 255, 255));

    QStringList menu;
    for (QAction* action : panel_->PopupMenu_route->actions()) {
        menu << action->objectName() + " " + action->text();
    }
    EXPECT_EQ(menu, (QStringList{"supprimer1 supprimer le point", "insrer1 insérer un point",
                                 "ajouter1 ajouter un point", "entrerlaroute1 entrer la route"}));

    // The route and the comments stretch with the panel's width.
    frame_->resize(612, 290);
    EXPECT_EQ(panel_->ListBox2->width(), 468);
    EXPECT_EQ(panel_->Memo1->width(), 468);
    EXPECT_EQ(panel_->Edit_alternate->width(), 50);
}

enum class Menu { Delete, Insert, Append, EnterRoute };

struct RouteMenuCase {
    const char* name;
    Menu item;
    std::vector<std::string> points;
    int selected;                        // -1: none
    std::optional<std::string> entered;  // nothing: "annuler"
    QStringList shown;
    const char* route_text;
    std::vector<std::string> events;
};

void PrintTo(const RouteMenuCase& c, std::ostream* out) {
    *out << c.name;
}

class RouteMenuTest : public PlanPanelTest, public ::testing::WithParamInterface<RouteMenuCase> {};

// The context menu's items, as the user picks them: the list and the route text follow.
TEST_P(RouteMenuTest, TheListShowsTheEditedRoute) {
    const RouteMenuCase& c = GetParam();
    plan_.route_points = c.points;
    RebuildRouteText(plan_);
    for (const std::string& point : c.points) {
        panel_->ListBox2->addItem(QString::fromStdString(point));
    }
    if (c.selected >= 0) {
        panel_->ListBox2->setCurrentRow(c.selected);
    }
    entries_ = {c.entered};
    QAction* items[] = {panel_->supprimer1, panel_->insrer1, panel_->ajouter1,
                        panel_->entrerlaroute1};
    items[static_cast<int>(c.item)]->trigger();
    EXPECT_EQ(routeShown(), c.shown);
    EXPECT_EQ(plan_.route_text, c.route_text);
    EXPECT_EQ(events_, c.events);
}

const std::vector<std::string> kAbc = {"A", "B", "C"};

INSTANTIATE_TEST_SUITE_P(
    Items, RouteMenuTest,
    ::testing::Values(
        RouteMenuCase{"delete", Menu::Delete, kAbc, 1, std::nullopt, {"A", "C"}, "A/C", {}},
        RouteMenuCase{"delete_unselected",
                      Menu::Delete,
                      kAbc,
                      -1,
                      std::nullopt,
                      {"A", "B", "C"},
                      "A/B/C",
                      {"message Sélectionner une ligne"}},
        RouteMenuCase{"insert_at_the_head",
                      Menu::Insert,
                      kAbc,
                      0,
                      "resmi",
                      {"RESMI", "A", "B", "C"},
                      "RESMI/A/B/C",
                      {"entry Insérer un point []"}},
        RouteMenuCase{"insert_unselected",
                      Menu::Insert,
                      kAbc,
                      -1,
                      "x",
                      {"A", "B", "C"},
                      "A/B/C",
                      {"message Sélectionner une ligne"}},
        RouteMenuCase{"append",
                      Menu::Append,
                      kAbc,
                      -1,
                      "lfpg",
                      {"A", "B", "C", "LFPG"},
                      "A/B/C/LFPG",
                      {"entry Ajouter un point []"}},
        RouteMenuCase{"append_cancelled",
                      Menu::Append,
                      kAbc,
                      -1,
                      std::nullopt,
                      {"A", "B", "C"},
                      "A/B/C",
                      {"entry Ajouter un point []"}},
        RouteMenuCase{"whole_route",
                      Menu::EnterRoute,
                      kAbc,
                      -1,
                      "abc/ /de//fgh",
                      {"ABC", " ", "DE", "", "FGH"},
                      "ABC/ /DE//FGH",
                      {"entry Entrer la route []"}},
        RouteMenuCase{"whole_route_cancelled",
                      Menu::EnterRoute,
                      kAbc,
                      -1,
                      std::nullopt,
                      {"A", "B", "C"},
                      "A/B/C",
                      {"entry Entrer la route []"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The server's copy of the plan arrives while the entry dialog is open: the list is
// refilled, nothing is selected any more, and the point goes nowhere.
TEST_F(PlanPanelTest, InsertingAfterTheListWasRefilledAsksForALineAgain) {
    plan_.route_points = kAbc;
    RebuildRouteText(plan_);
    for (const std::string& point : kAbc) {
        panel_->ListBox2->addItem(QString::fromStdString(point));
    }
    panel_->ListBox2->setCurrentRow(1);
    entries_ = {"x"};
    during_entry_ = [&] { panel_->OwnFiledPlan(ServerCopy()); };
    panel_->insrer1->trigger();
    EXPECT_EQ(routeShown(), (QStringList{"A", "B"}));
    EXPECT_EQ(plan_.route_text, "A/B");
    EXPECT_EQ(events_.back(), "message Sélectionner une ligne");
}

// Typing into a box reaches its field: the masked boxes at every change, the airports when
// the box is left.
TEST_F(PlanPanelTest, TypedBoxesReachThePlan) {
    struct {
        QLineEdit* box;
        const char* typed;
        const char* shown;  // the box's text once left
        std::string FlightPlan::*field;
        const char* value;
    } const cases[] = {
        {panel_->Edit_depart, "lirfé", "LIRFé", &FlightPlan::departure, "LIRFé"},
        {panel_->Edit_dest, "li rn", "LI RN", &FlightPlan::destination, "LI RN"},
        {panel_->Edit_alternate, "lirq", "LIRQ", &FlightPlan::alternate, "LIRQ"},
        {panel_->MaskEdit_fl, "120", "120", &FlightPlan::cruise_level, "120"},
        {panel_->MaskEdit_vitesse, "450", "450", &FlightPlan::speed, "450"},
        {panel_->MaskEdit_act, "0930", "09:30", &FlightPlan::actual_time, "0930"},
        {panel_->MaskEdit_act, " 930", "_9:30", &FlightPlan::actual_time, "930"},
        {panel_->MaskEdit_enroute, "0145", "01:45", &FlightPlan::time_enroute, "01:45"},
        {panel_->MaskEdit_enroute, " 145", "_1:45", &FlightPlan::time_enroute, " 1:45"},
        {panel_->MaskEdit_fuel, "0430", "04:30", &FlightPlan::time_fuel, "04:30"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box->objectName().toStdString() + " " + c.typed);
        c.box->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(WaitUntil([&] { return c.box->hasFocus(); }));
        c.box->selectAll();
        type(c.box, QString::fromUtf8(c.typed));
        leave(c.box);
        EXPECT_EQ(c.box->text(), QString::fromUtf8(c.shown));
        EXPECT_EQ(plan_.*c.field, c.value);
    }
    EXPECT_TRUE(events_.empty());

    panel_->CheckBox_ifr->click();
    EXPECT_EQ(plan_.flight_rules, "I");
    panel_->CheckBox_ifr->click();
    EXPECT_EQ(plan_.flight_rules, "V");
}

TEST_F(PlanPanelTest, AnIncompleteMaskedBoxSaysSo) {
    panel_->MaskEdit_vitesse->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(WaitUntil([&] { return panel_->MaskEdit_vitesse->hasFocus(); }));
    QTest::keyClicks(panel_->MaskEdit_vitesse, "45");
    panel_->Edit_dest->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(WaitUntil([&] { return !events_.empty(); }));
    EXPECT_EQ(events_, std::vector<std::string>{"message Valeur d'entrée incorrecte. Utiliser "
                                                "Echap pour abandonner les modifications"});
    EXPECT_TRUE(panel_->MaskEdit_vitesse->hasFocus());
    EXPECT_EQ(plan_.speed, "45 ");
}

struct LoadCase {
    const char* name;
    std::string simulator_path;              // empty: none, the dialog asks
    std::optional<std::string> chosen_file;  // the dialog's answer
    const char* title;
    const char* departure;
    const char* destination;
    const char* alternate;
    bool ifr;
    const char* level;  // as the box reads it back
    QStringList route;
    bool active;
};

void PrintTo(const LoadCase& c, std::ostream* out) {
    *out << c.name;
}

class PlanLoadTest : public PlanPanelTest, public ::testing::WithParamInterface<LoadCase> {};

// The load button fills every box from the plan; a plan that came from the simulator is
// the active one.
TEST_P(PlanLoadTest, TheBoxesShowTheLoadedPlan) {
    const LoadCase& c = GetParam();
    simulator_path_ = c.simulator_path;
    files_ = {c.chosen_file};
    panel_->Edit_alternate->setText("KEPT");
    plan_.alternate = "KEPT";
    panel_->CheckBox_ifr->setChecked(!c.ifr);
    panel_->Button_charge->click();

    EXPECT_EQ(panel_->Label_titre->text(), c.title);
    EXPECT_EQ(panel_->Edit_depart->text(), c.departure);
    EXPECT_EQ(panel_->Edit_dest->text(), c.destination);
    EXPECT_EQ(panel_->Edit_alternate->text(), c.alternate);
    EXPECT_EQ(panel_->CheckBox_ifr->isChecked(), c.ifr);
    EXPECT_EQ(plan_.flight_rules, c.ifr ? "I" : "V");
    EXPECT_EQ(panel_->MaskEdit_fl->value(), c.level);
    EXPECT_EQ(plan_.cruise_level, c.level);
    EXPECT_EQ(panel_->MaskEdit_vitesse->value(), "000");
    EXPECT_EQ(panel_->MaskEdit_act->text(), "00:00");
    EXPECT_EQ(plan_.actual_time, "0000");
    EXPECT_EQ(panel_->MaskEdit_enroute->value(), "00:00");
    EXPECT_EQ(panel_->MaskEdit_fuel->value(), "00:00");
    EXPECT_EQ(routeShown(), c.route);
    EXPECT_EQ(plan_.active, c.active);
    EXPECT_EQ(panel_->Label_fpactif->isVisible(), c.active);
    EXPECT_FALSE(panel_->Label_fpdepose->isVisible());
    EXPECT_GE(repaints_, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Plans, PlanLoadTest,
    ::testing::Values(LoadCase{"simulator_ifr",
                               RealPlan(kIfrPlan),
                               std::nullopt,
                               "KLAX to KSFO",
                               "KLAX",
                               "KSFO",
                               "KEPT",
                               true,
                               "250",
                               {"AVE", "BSR"},
                               true},
                      // A level of 45 reads back from its three-digit box with a blank.
                      LoadCase{"dialog_vfr",
                               "",
                               RealPlan(kVfrPlan),
                               "KSEE to KVNY",
                               "KSEE",
                               "KVNY",
                               "KEPT",
                               false,
                               "45 ",
                               {"KMYF"},
                               false},
                      // The INI form has an alternate, empty here.
                      LoadCase{"dialog_ini", "", RealPlan(kIniPlan), "EGCC to OMDB", "EGCC", "OMDB",
                               "", true, "410",
                               [] {
                                   QStringList points =
                                       QString(
                                           "DISAL/NAPEX/DOLAS/ENITO/EVELI/BASNO/NYKER/SONEB/"
                                           "EXOBA/NOMKA/SULED/EKPEK/KOMUR/PEMUR/HLV/NIDOK/"
                                           "PITOK/PERIT/RILAS/REBLA/ABOKA/ERGAT/LAPKA/RIVOS/"
                                           "KUGOS/SIN/CRM/ODALI/VABEL/KONUK/NAREN/SRT/KABAN/"
                                           "SEVKU/UMESA/DASUR/UKMUG/PAPUS/DENKI/ILMAP/PEBAD/"
                                           "SIDAD/DESLU/NANPI/ALNIN/IMDAT/DURSI/EGMID/ORSAR/"
                                           "PEBAT/MUTVI/VEDAG")
                                           .split('/');
                                   return points;
                               }(),
                               false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlanPanelTest, ARefusedFileShowsWhyAndChangesNothing) {
    plan_.filed = true;
    panel_->ApplyPanelState();
    files_ = {RealPlan(kBinary)};
    panel_->Button_charge->click();
    EXPECT_EQ(events_,
              (std::vector<std::string>{"dialog Plan FSX", "error plan de vol non conforme"}));
    EXPECT_TRUE(plan_.filed);
    EXPECT_TRUE(panel_->Label_fpdepose->isVisible());
    EXPECT_EQ(panel_->Label_titre->text(), "Titre:");
}

// The look of the panel for each state: every governed control, in the table's order.
void ExpectLook(const PlanPanel& p, bool filed, bool active) {
    const QColor window = QApplication::palette(p.Edit_depart).color(QPalette::Base);
    const QColor colour = filed ? kYellow : window;
    for (QLineEdit* box :
         {p.Edit_depart, p.Edit_dest, p.Edit_alternate, static_cast<QLineEdit*>(p.MaskEdit_fl),
          static_cast<QLineEdit*>(p.MaskEdit_vitesse), p.Edit_date,
          static_cast<QLineEdit*>(p.MaskEdit_act), static_cast<QLineEdit*>(p.MaskEdit_enroute),
          static_cast<QLineEdit*>(p.MaskEdit_fuel)}) {
        SCOPED_TRACE(box->objectName().toStdString());
        EXPECT_EQ(box->palette().color(QPalette::Base), colour);
        EXPECT_EQ(box->isReadOnly(), filed);
    }
    EXPECT_EQ(p.ListBox2->palette().color(QPalette::Base), colour);
    EXPECT_EQ(p.Memo1->palette().color(QPalette::Base), colour);
    EXPECT_EQ(p.Memo1->isReadOnly(), filed);
    EXPECT_EQ(p.CheckBox_ifr->palette().color(QPalette::Window), colour);
    EXPECT_EQ(p.CheckBox_ifr->isEnabled(), !filed);
    EXPECT_EQ(p.Label_fpdepose->isVisible(), filed);
    EXPECT_EQ(p.Label_fpactif->isVisible(), active);
    // Never locked.
    for (QPushButton* button : {p.Button_charge, p.Button_envoi, p.Button_sup, p.Button_modif}) {
        EXPECT_TRUE(button->isEnabled());
    }
}

enum class Event {
    LoadFromSimulator,
    LoadFromDialog,
    DialogCancelled,
    Acknowledged,
    OwnCopy,
    OthersCopy,  // dropped by the dispatcher: the panel never hears of it
    Modify,
    Delete,
    DeleteWriteFails,
};

struct Transition {
    const char* name;
    bool filed, active;  // before
    Event event;
    bool filed_after, active_after;
};

void PrintTo(const Transition& c, std::ostream* out) {
    *out << c.name;
}

class PanelStateTest : public PlanPanelTest, public ::testing::WithParamInterface<Transition> {};

TEST_P(PanelStateTest, EveryTransitionEndsInItsLook) {
    const Transition& c = GetParam();
    plan_.filed = c.filed;
    plan_.active = c.active;
    panel_->ApplyPanelState();
    ExpectLook(*panel_, c.filed, c.active);

    switch (c.event) {
        case Event::LoadFromSimulator:
            simulator_path_ = RealPlan(kIfrPlan);
            panel_->Button_chargeClick();
            break;
        case Event::LoadFromDialog:
            files_ = {RealPlan(kVfrPlan)};
            panel_->Button_chargeClick();
            break;
        case Event::DialogCancelled:
            files_ = {std::nullopt};
            panel_->Button_chargeClick();
            break;
        case Event::Acknowledged:
            panel_->FilingAcknowledged({"$ACUDEPOT", "F-GTAV", "FP F-GTAV LIRF-LIRN depose"});
            EXPECT_EQ(events_.back(), "simulator FP F-GTAV LIRF-LIRN depose");
            break;
        case Event::OwnCopy:
            panel_->OwnFiledPlan(ServerCopy());
            break;
        case Event::OthersCopy:
            break;
        case Event::Modify:
            panel_->Button_modif->click();
            break;
        case Event::Delete:
            panel_->Button_sup->click();
            break;
        case Event::DeleteWriteFails:
            write_outcome_ = SimulatorWrite::Outcome::ProcessFailed;
            panel_->Button_sup->click();
            EXPECT_EQ(events_.back(), "status 1 Processing: Link not open");
            break;
    }
    EXPECT_EQ(plan_.filed, c.filed_after);
    EXPECT_EQ(plan_.active, c.active_after);
    ExpectLook(*panel_, c.filed_after, c.active_after);
}

INSTANTIATE_TEST_SUITE_P(
    Events, PanelStateTest,
    ::testing::Values(
        Transition{"simulator_plan_unlocks_filed", true, false, Event::LoadFromSimulator, false,
                   true},
        Transition{"dialog_plan_is_not_active", true, true, Event::LoadFromDialog, false, false},
        Transition{"cancelled_dialog_unlocks", true, true, Event::DialogCancelled, false, true},
        Transition{"acknowledgement_locks", false, true, Event::Acknowledged, true, true},
        Transition{"acknowledgement_keeps_inactive", false, false, Event::Acknowledged, true,
                   false},
        Transition{"own_copy_locks", false, true, Event::OwnCopy, true, true},
        Transition{"modify_unlocks_and_forgets_the_simulator", true, true, Event::Modify, false,
                   false},
        Transition{"delete_clears_the_simulators_path", true, true, Event::Delete, false, false},
        Transition{"delete_of_an_inactive_plan", true, false, Event::Delete, false, false},
        Transition{"delete_with_the_simulator_down_stays_active", true, true,
                   Event::DeleteWriteFails, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlanPanelTest, DeletingEmptiesThePanelAndKeepsRulesDateAndPath) {
    simulator_path_ = RealPlan(kIfrPlan);
    panel_->Button_charge->click();
    plan_.departure_date = QDate(2026, 4, 1);
    panel_->Edit_date->setText("01/04/2026");
    panel_->Memo1->setPlainText("RVSM");
    panel_->FilingAcknowledged({"$ACUDEPOT", "F-GTAV", "ok"});
    events_.clear();

    panel_->Button_sup->click();
    EXPECT_EQ(events_, (std::vector<std::string>{"write 304 256 bytes"}));
    EXPECT_EQ(panel_->Label_titre->text(), "");
    EXPECT_EQ(panel_->Edit_depart->text(), "");
    EXPECT_EQ(panel_->Edit_dest->text(), "");
    EXPECT_EQ(panel_->MaskEdit_fl->text(), "___");
    EXPECT_EQ(panel_->MaskEdit_vitesse->value(), "000");
    EXPECT_EQ(panel_->MaskEdit_act->value(), "0000");
    EXPECT_EQ(panel_->MaskEdit_enroute->value(), "00:00");
    EXPECT_EQ(panel_->MaskEdit_fuel->value(), "00:00");
    EXPECT_EQ(panel_->ListBox2->count(), 0);
    EXPECT_EQ(panel_->Memo1->toPlainText(), "");
    EXPECT_EQ(plan_.route_text, "");
    EXPECT_TRUE(panel_->CheckBox_ifr->isChecked());
    EXPECT_EQ(plan_.flight_rules, "I");
    EXPECT_EQ(panel_->Edit_date->text(), "01/04/2026");
    EXPECT_EQ(plan_.departure_date, QDate(2026, 4, 1));
    EXPECT_EQ(plan_.plan_path, RealPlan(kIfrPlan));
}

TEST_F(PlanPanelTest, FilingSendsThePanelsPlan) {
    panel_->FormShow();
    EXPECT_EQ(panel_->Edit_date->text(), "14/03/2026");
    panel_->Memo1->setPlainText("RVSM\nPBN/B2");
    entries_ = {"lirf/alber"};
    panel_->entrerlaroute1->trigger();
    events_.clear();
    panel_->Button_envoi->click();
    EXPECT_EQ(events_, (std::vector<std::string>{"sent", "simulator Plan de vol envoyé"}));
    ASSERT_EQ(sent_.size(), 1u);
    EXPECT_EQ(sent_[0].aircraft, "C172SP");
    EXPECT_EQ(sent_[0].departure_date, "14/03/2026");
    EXPECT_EQ(sent_[0].remarks, " RVSM PBN/B2");
    EXPECT_EQ(sent_[0].route, "LIRF/ALBER");
    // Only the server's acknowledgement locks it.
    EXPECT_FALSE(plan_.filed);
    ExpectLook(*panel_, false, false);

    // A text the simulator could not show is told in the status bar; the plan went.
    simulator_failure_ = "Link not open";
    panel_->Button_envoi->click();
    EXPECT_EQ(events_.back(), "status 0 Link not open");
    EXPECT_EQ(sent_.size(), 2u);
}

TEST_F(PlanPanelTest, FilingRefusedOrFailedSaysWhy) {
    struct {
        const char* name;
        const char* model;
        bool logged_in;
        bool send_works;
        std::vector<std::string> events;
        bool red;
    } const cases[] = {
        {"no_aircraft", "", true, true, {"message appareil inconnu"}, false},
        {"no_login", "C172SP", false, true, {"message connect ATC server"}, false},
        {"not_sent",
         "C172SP",
         true,
         false,
         {"sent", "message date non valide, plan de vol non envoyé"},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        events_.clear();
        identity_.atc_model = c.model;
        logged_in_ = c.logged_in;
        send_works_ = c.send_works;
        panel_->Button_envoi->click();
        EXPECT_EQ(events_, c.events);
        EXPECT_EQ(panel_->Edit_date->palette().color(QPalette::Base) == kRed, c.red);
    }
    // The red outlives repaints until a date is accepted.
    panel_->ApplyPanelState();
    EXPECT_EQ(panel_->Edit_date->palette().color(QPalette::Base), kRed);
    panel_->Edit_date->setText("20/03/2026");
    panel_->Edit_dateExit();
    EXPECT_NE(panel_->Edit_date->palette().color(QPalette::Base), kRed);
}

TEST_F(PlanPanelTest, TheDateBoxTakesTodayOrLater) {
    plan_.departure_date = QDate(2026, 3, 20);
    struct {
        const char* text;
        std::vector<std::string> events;
        bool red;
        QDate date;
    } const cases[] = {
        {"pas une date", {"message date non valide"}, true, QDate(2026, 3, 20)},
        {"", {"message date non valide"}, true, QDate(2026, 3, 20)},
        {"13/03/2026", {"message date dépassée"}, true, QDate(2026, 3, 20)},
        {"14/03/2026", {}, false, kToday},
        {"1/4/26", {}, false, QDate(2026, 4, 1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        events_.clear();
        panel_->Edit_date->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(WaitUntil([&] { return panel_->Edit_date->hasFocus(); }));
        panel_->Edit_date->setText(c.text);
        panel_->Edit_depart->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(WaitUntil([&] { return panel_->Edit_depart->hasFocus(); }));
        EXPECT_EQ(events_, c.events);
        EXPECT_EQ(panel_->Edit_date->palette().color(QPalette::Base) == kRed, c.red);
        EXPECT_EQ(plan_.departure_date, c.date);
    }
}

TEST_F(PlanPanelTest, TheServersCopyFillsTheBoxes) {
    panel_->Memo1->setPlainText("mine\nand more");
    panel_->OwnFiledPlan(ServerCopy());
    EXPECT_TRUE(panel_->CheckBox_ifr->isChecked());
    EXPECT_EQ(panel_->MaskEdit_vitesse->value(), "450");
    EXPECT_EQ(panel_->Edit_depart->text(), "LIRF");
    EXPECT_EQ(panel_->Edit_date->text(), "20/03/2026");
    EXPECT_EQ(plan_.departure_date, QDate(2026, 3, 20));
    EXPECT_EQ(panel_->MaskEdit_act->text(), "_9:30");
    EXPECT_EQ(plan_.actual_time, "930");
    EXPECT_EQ(panel_->MaskEdit_fl->value(), "120");
    EXPECT_EQ(panel_->Edit_dest->text(), "LIRN");
    EXPECT_EQ(panel_->MaskEdit_enroute->value(), "01:45");
    EXPECT_EQ(panel_->MaskEdit_fuel->value(), "04:30");
    EXPECT_EQ(panel_->Edit_alternate->text(), "LIRQ");
    EXPECT_EQ(panel_->Memo1->toPlainText(), " amended");
    EXPECT_EQ(routeShown(), (QStringList{"A", "B"}));
    ExpectLook(*panel_, true, false);

    // A copy whose date cannot be read stops there: the panel is not locked again.
    panel_->Button_modif->click();
    FieldList copy = ServerCopy("demain");
    copy[5] = "LIMC";
    copy[9] = "LIME";
    panel_->OwnFiledPlan(copy);
    EXPECT_EQ(panel_->Edit_depart->text(), "LIMC");
    EXPECT_EQ(panel_->Edit_dest->text(), "LIRN");
    EXPECT_EQ(panel_->Edit_date->text(), "20/03/2026");
    ExpectLook(*panel_, false, false);

    // A copy missing its route is not applied at all.
    copy = ServerCopy();
    copy[5] = "LIPZ";
    copy.pop_back();
    panel_->OwnFiledPlan(copy);
    EXPECT_EQ(panel_->Edit_depart->text(), "LIMC");
    ExpectLook(*panel_, false, false);
}

TEST_F(PlanPanelTest, FiledPlansAreQueriedAndListed) {
    struct {
        const char* name;
        bool date_menu;
        bool logged_in;
        std::optional<std::string> entered;
        std::vector<std::string> events;
    } const cases[] = {
        {"all", false, true, std::nullopt, {"window Plans de vol déposés", "query TOUS"}},
        // Without a login the window opens empty.
        {"all_logged_out", false, false, std::nullopt, {"window Plans de vol déposés"}},
        {"by_date_as_typed",
         true,
         true,
         "1/4/26",
         {"entry FP déposés [14/03/2026]", "window Plans de vol déposés au 1/4/26",
          "query 1/4/26"}},
        {"by_date_cancelled", true, true, std::nullopt, {"entry FP déposés [14/03/2026]"}},
        {"by_date_not_a_date",
         true,
         true,
         "hier",
         {"entry FP déposés [14/03/2026]", "message date non valide"}},
        {"by_date_past",
         true,
         true,
         "13/03/2026",
         {"entry FP déposés [14/03/2026]", "message date dépassée"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        events_.clear();
        logged_in_ = c.logged_in;
        entries_ = {c.entered};
        if (c.date_menu) {
            panel_->pardate1Click();
        } else {
            panel_->tous1Click();
        }
        EXPECT_EQ(events_, c.events);
    }

    events_.clear();
    panel_->FiledPlanListed({"$DEPOTFP", "F-GTAV", "F-GTAV", "V", "C172SP", "110", "LIRU",
                             "20/03/2026", "1415", "045", "LIRQ", "01", "10", "03", "00", "",
                             " VFR", "BOL"});
    panel_->FiledPlanListed({"$DEPOTFP", "F-GTAV", "F-GTAV", "V"});
    EXPECT_EQ(events_,
              (std::vector<std::string>{"listed F-GTAV\tVFR\tC172SP\tLIRU\tBOL\tLIRQ\tFL045\t"
                                        "110kts\t20/03/2026\tZ14:15\t VFR"}));
}

}  // namespace
}  // namespace tavoro
