#include "flightplan/PlanPanel.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QPalette>

#include "core/Text.h"
#include "flightplan/PlanDates.h"

namespace tavoro {
namespace {

const QColor kLockedColour(255, 255, 0);       // yellow: the plan is filed
const QColor kRejectedColour(255, 0, 0);       // red: the date was refused
const QColor kActiveLabelColour(0, 255, 255);  // aqua

// Where ListBox2 and Memo1 end: they keep this margin to the panel's right edge.
constexpr int kRightMargin = 512 - 136 - 368;

QLabel* label(QWidget& panel, const char* name, const QString& caption, int x, int y) {
    auto* widget = new QLabel(caption, &panel);
    widget->setObjectName(name);
    widget->move(x, y);
    widget->adjustSize();
    return widget;
}

QLineEdit* edit(QWidget& panel, const char* name, int x, int y, int width) {
    auto* widget = new QLineEdit(&panel);
    widget->setObjectName(name);
    widget->setGeometry(x, y, width, 21);
    return widget;
}

MaskEdit* maskEdit(QWidget& panel, const char* name, const char* mask, int x, int y, int width) {
    auto* widget = new MaskEdit(mask, &panel);
    widget->setObjectName(name);
    widget->setGeometry(x, y, width, 21);
    return widget;
}

QPushButton* button(QWidget& panel, const char* name, const QString& caption, int x, int y,
                    int width) {
    auto* widget = new QPushButton(caption, &panel);
    widget->setObjectName(name);
    widget->setGeometry(x, y, width, 17);
    return widget;
}

// Sets one colour of a widget's palette, only when it differs: applying the state on every
// repaint must not make the widgets repaint again.
void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    if (widget->palette().color(role) == colour) {
        return;
    }
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

template <typename Box>
void setReadOnly(Box* box, bool read_only) {
    if (box->isReadOnly() != read_only) {
        box->setReadOnly(read_only);
    }
}

void setShown(QWidget* widget, bool shown) {
    if (widget->isHidden() == shown) {
        widget->setVisible(shown);
    }
}

}  // namespace

PlanPanel::PlanPanel(QWidget& panel, FlightPlan& plan, PlanPanelServices services)
    : QObject(&panel), Panel_FP(panel), plan_(plan), services_(std::move(services)) {
    build();
    bind();
    ApplyPanelState();
}

void PlanPanel::build() {
    QWidget& p = Panel_FP;
    // A lowered bevel, 3 pixels wide.
    if (auto* frame = qobject_cast<QFrame*>(&p)) {
        frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        frame->setLineWidth(3);
    }
    p.setMinimumSize(512, 290);
    // The panel was drawn for an 11-pixel font of Arial's width: its captions fit their
    // places with it, where a wider font would run them into the boxes.
    QFont font = p.font();
    font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "Arial", "Liberation Sans",
                      "Nimbus Sans", "Helvetica", font.family()});
    font.setPixelSize(11);
    p.setFont(font);

    Label_titre = label(p, "Label_titre", "Titre:", 16, 4);
    Label13 = label(p, "Label13", "Depart:", 8, 24);
    Edit_depart = edit(p, "Edit_depart", 48, 24, 50);
    Label14 = label(p, "Label14", "Destination:", 112, 24);
    Edit_dest = edit(p, "Edit_dest", 176, 24, 50);
    CheckBox_ifr = new QCheckBox("IFR", &p);
    CheckBox_ifr->setObjectName("CheckBox_ifr");
    CheckBox_ifr->setGeometry(248, 24, 41, 17);
    CheckBox_ifr->setAutoFillBackground(true);
    Label15 = label(p, "Label15", "Alternate:", 320, 24);
    Edit_alternate = edit(p, "Edit_alternate", 376, 24, 50);
    Label_alt = label(p, "Label_alt", "FL:", 8, 56);
    MaskEdit_fl = maskEdit(p, "MaskEdit_fl", "000;1;_", 24, 56, 25);
    Label16 = label(p, "Label16", "vitesse", 54, 56);
    MaskEdit_vitesse = maskEdit(p, "MaskEdit_vitesse", "000;1;_", 90, 56, 31);
    ListBox2 = new QListWidget(&p);
    ListBox2->setObjectName("ListBox2");
    ListBox2->setGeometry(136, 48, 368, 73);
    ListBox2->setToolTip("click droit pour entrez la route");
    Label17 = label(p, "Label17", "date", 16, 96);
    Edit_date = edit(p, "Edit_date", 56, 88, 65);
    Label18 = label(p, "Label18", "Zulu", 16, 120);
    MaskEdit_act = maskEdit(p, "MaskEdit_act", "!90:00;0;_", 72, 112, 49);
    Memo1 = new QPlainTextEdit(&p);
    Memo1->setObjectName("Memo1");
    Memo1->setGeometry(136, 128, 368, 41);
    Memo1->setToolTip("commentaires");
    // One empty line, as the box was drawn: filing an untouched box sends one blank.
    Memo1->setPlainText("\n");
    Label19 = label(p, "Label19", "time enroute", 8, 160);
    MaskEdit_enroute = maskEdit(p, "MaskEdit_enroute", "!90:00;1;_", 72, 152, 49);
    Label20 = label(p, "Label20", "time fuel", 8, 184);
    MaskEdit_fuel = maskEdit(p, "MaskEdit_fuel", "!90:00;1;_", 72, 176, 49);
    Button_charge = button(p, "Button_charge", "charger un plan FSX", 136, 176, 105);
    Button_sup = button(p, "Button_sup", "supprimer le plan", 248, 176, 97);
    Button_modif = button(p, "Button_modif", "modifier le plan", 360, 176, 89);
    Button_envoi = button(p, "Button_envoi", "Envoi du plan", 136, 200, 81);
    Label_fpdepose = label(p, "Label_fpdepose", "Deposé", 144, 224);
    Label_fpdepose->setAutoFillBackground(true);
    setColour(Label_fpdepose, QPalette::Window, kLockedColour);
    Label_fpdepose->hide();
    Label_fpactif = label(p, "Label_fpactif", "plan de vol Actif", 136, 248);
    Label_fpactif->setAutoFillBackground(true);
    setColour(Label_fpactif, QPalette::Window, kActiveLabelColour);
    Label_fpactif->hide();

    PopupMenu_route = new QMenu(ListBox2);
    PopupMenu_route->setObjectName("PopupMenu_route");
    supprimer1 = PopupMenu_route->addAction("supprimer le point");
    supprimer1->setObjectName("supprimer1");
    insrer1 = PopupMenu_route->addAction("insérer un point");
    insrer1->setObjectName("insrer1");
    ajouter1 = PopupMenu_route->addAction("ajouter un point");
    ajouter1->setObjectName("ajouter1");
    entrerlaroute1 = PopupMenu_route->addAction("entrer la route");
    entrerlaroute1->setObjectName("entrerlaroute1");
    ListBox2->setContextMenuPolicy(Qt::CustomContextMenu);
}

void PlanPanel::bind() {
    // Every box mirrors its field: typed or written by the system.
    const std::pair<MaskEdit*, std::string FlightPlan::*> masked[] = {
        {MaskEdit_fl, &FlightPlan::cruise_level}, {MaskEdit_vitesse, &FlightPlan::speed},
        {MaskEdit_act, &FlightPlan::actual_time}, {MaskEdit_enroute, &FlightPlan::time_enroute},
        {MaskEdit_fuel, &FlightPlan::time_fuel},
    };
    for (const auto& each : masked) {
        std::string FlightPlan::*field = each.second;
        connect(each.first, &MaskEdit::valueChanged, this,
                [this, field](const QString& value) { plan_.*field = FromDisplay(value); });
        connect(each.first, &MaskEdit::incompleteOnExit, this,
                [this] { message(kIncompleteMaskMessage); });
    }
    // Also when the system changes the check; setting the state it has runs nothing.
    connect(CheckBox_ifr, &QCheckBox::toggled, this, &PlanPanel::CheckBox_ifrClick);
    for (QWidget* box : {static_cast<QWidget*>(Edit_depart), static_cast<QWidget*>(Edit_dest),
                         static_cast<QWidget*>(Edit_alternate), static_cast<QWidget*>(Edit_date)}) {
        box->installEventFilter(this);
    }
    Panel_FP.installEventFilter(this);

    connect(ListBox2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu_route->popup(ListBox2->mapToGlobal(at)); });
    connect(supprimer1, &QAction::triggered, this, &PlanPanel::supprimer1Click);
    connect(insrer1, &QAction::triggered, this, &PlanPanel::insrer1Click);
    connect(ajouter1, &QAction::triggered, this, &PlanPanel::ajouter1Click);
    connect(entrerlaroute1, &QAction::triggered, this, &PlanPanel::entrerlaroute1Click);

    connect(Button_charge, &QPushButton::clicked, this, &PlanPanel::Button_chargeClick);
    connect(Button_envoi, &QPushButton::clicked, this, &PlanPanel::Button_envoiClick);
    connect(Button_modif, &QPushButton::clicked, this, &PlanPanel::Button_modifClick);
    connect(Button_sup, &QPushButton::clicked, this, &PlanPanel::Button_supClick);
}

bool PlanPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &Panel_FP && event->type() == QEvent::Resize) {
        // The route list and the comment box stretch with the panel's width.
        const int width = Panel_FP.width() - kRightMargin - ListBox2->x();
        ListBox2->resize(width, ListBox2->height());
        Memo1->resize(width, Memo1->height());
    }
    if (event->type() == QEvent::FocusOut) {
        // A window or menu taking the focus is not the user leaving the box.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == Edit_depart) {
                Edit_departExit();
            } else if (watched == Edit_dest) {
                Edit_destExit();
            } else if (watched == Edit_alternate) {
                Edit_alternateExit();
            } else if (watched == Edit_date) {
                Edit_dateExit();
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void PlanPanel::ApplyPanelState() {
    const PanelState state = PanelStateOf(plan_);
    const QColor window = QApplication::palette(Edit_depart).color(QPalette::Base);
    const QColor colour = state.locked ? kLockedColour : window;
    for (QLineEdit* box : {Edit_depart, Edit_dest}) {
        setColour(box, QPalette::Base, colour);
        setReadOnly(box, state.locked);
    }
    // The route only takes the colour: its menu still edits it.
    setColour(ListBox2, QPalette::Base, colour);
    for (QLineEdit* box : {Edit_alternate, static_cast<QLineEdit*>(MaskEdit_fl),
                           static_cast<QLineEdit*>(MaskEdit_vitesse)}) {
        setColour(box, QPalette::Base, colour);
        setReadOnly(box, state.locked);
    }
    setColour(Edit_date, QPalette::Base,
              state.locked ? kLockedColour : (date_rejected_ ? kRejectedColour : window));
    setReadOnly(Edit_date, state.locked);
    for (MaskEdit* box : {MaskEdit_act, MaskEdit_enroute, MaskEdit_fuel}) {
        setColour(box, QPalette::Base, colour);
        setReadOnly(box, state.locked);
    }
    setColour(Memo1, QPalette::Base, colour);
    setReadOnly(Memo1, state.locked);
    setColour(CheckBox_ifr, QPalette::Window, colour);
    if (CheckBox_ifr->isEnabled() == state.locked) {
        CheckBox_ifr->setEnabled(!state.locked);
    }
    setShown(Label_fpdepose, state.locked);
    setShown(Label_fpactif, state.active_shown);
}

void PlanPanel::stateChanged() {
    ApplyPanelState();
    if (services_.repaint) {
        services_.repaint();
    }
}

QDate PlanPanel::today() const {
    return services_.today ? services_.today() : QDate::currentDate();
}

void PlanPanel::message(std::string_view text) {
    if (services_.show_message) {
        services_.show_message(ToDisplay(text));
    }
}

void PlanPanel::FormShow() {
    Edit_date->setText(ToDisplay(FormatPlanDate(today(), services_.locale)));
    setDateRejected(false);
}

void PlanPanel::setDateRejected(bool rejected) {
    date_rejected_ = rejected;
    ApplyPanelState();
}

void PlanPanel::showRoute() {
    ListBox2->clear();
    for (const std::string& point : plan_.route_points) {
        ListBox2->addItem(ToDisplay(point));
    }
}

void PlanPanel::showLoadedPlan(PlanFileForm form) {
    Label_titre->setText(ToDisplay(plan_.title));
    Label_titre->adjustSize();
    Edit_depart->setText(ToDisplay(plan_.departure));
    Edit_dest->setText(ToDisplay(plan_.destination));
    // The XML form has no alternate: its box keeps what it shows.
    if (form != PlanFileForm::Xml) {
        Edit_alternate->setText(ToDisplay(plan_.alternate));
    }
    CheckBox_ifr->setChecked(plan_.flight_rules == "I");
    MaskEdit_fl->setValue(ToDisplay(plan_.cruise_level));
    MaskEdit_vitesse->setValue(ToDisplay(plan_.speed));
    MaskEdit_act->setValue(ToDisplay(plan_.actual_time));
    MaskEdit_enroute->setValue(ToDisplay(plan_.time_enroute));
    MaskEdit_fuel->setValue(ToDisplay(plan_.time_fuel));
    showRoute();
    Button_envoi->setEnabled(true);
}

void PlanPanel::Button_chargeClick() {
    PlanLoadSources sources;
    sources.config = services_.config;
    sources.plan_folder = services_.plan_folder;
    sources.working_folder = services_.working_folder;
    sources.choose_file = services_.choose_file;
    sources.read_simulator = services_.read_simulator;
    sources.show_status = [this](const std::string& text) {
        if (services_.show_status) {
            services_.show_status(1, ToDisplay(text));
        }
    };
    const ChargeResult result = ChargePlan(plan_, sources);
    // A load stopped by a bad altitude has already set the fields read before it.
    if (result.load &&
        (result.load->loaded() || result.load->status == PlanLoadStatus::ConversionFailed)) {
        showLoadedPlan(result.load->form);
    }
    if (result.config_unwritable && services_.config_unwritable) {
        services_.config_unwritable();
    }
    if (const std::optional<std::string> error = result.error(); error && services_.show_error) {
        services_.show_error(ToDisplay(*error));
    }
    if (result.state_changed) {
        stateChanged();
    }
}

void PlanPanel::Button_envoiClick() {
    FilingInput input;
    input.atc_model = services_.identity ? services_.identity->atc_model : std::string();
    input.logged_in = services_.logged_in && services_.logged_in();
    input.memo_text = FromDisplay(Memo1->toPlainText());
    input.today = today();
    input.locale = services_.locale;
    const FilingPreparation prepared = PrepareFiling(plan_, input);
    if (prepared.refusal) {
        message(*prepared.refusal);
        return;
    }
    if (!services_.send_plan || !services_.send_plan(prepared.values)) {
        message(kFilingFailedMessage);
        setDateRejected(true);
        return;
    }
    if (services_.show_in_simulator) {
        if (const auto failure = services_.show_in_simulator(std::string(kPlanSentText));
            failure && services_.show_status) {
            services_.show_status(0, ToDisplay(*failure));
        }
    }
}

void PlanPanel::Button_modifClick() {
    ModifyPlan(plan_);
    stateChanged();
}

void PlanPanel::Button_supClick() {
    const std::optional<StatusText> failure = DeletePlan(plan_, services_.write_simulator);
    Label_titre->clear();
    Edit_depart->clear();
    Edit_dest->clear();
    Edit_alternate->clear();
    MaskEdit_fl->setValue("");
    MaskEdit_vitesse->setValue(ToDisplay(plan_.speed));
    MaskEdit_act->setValue(ToDisplay(plan_.actual_time));
    MaskEdit_enroute->setValue(ToDisplay(plan_.time_enroute));
    MaskEdit_fuel->setValue(ToDisplay(plan_.time_fuel));
    ListBox2->clear();
    Memo1->clear();
    if (failure && services_.show_status) {
        services_.show_status(failure->panel, ToDisplay(failure->text));
    }
    stateChanged();
}

void PlanPanel::CheckBox_ifrClick() {
    plan_.flight_rules.assign(1, CheckBox_ifr->isChecked() ? 'I' : 'V');
}

void PlanPanel::airportExit(QLineEdit* box, std::string FlightPlan::*field) {
    plan_.*field = UpperCaseLetters(FromDisplay(box->text()));
    box->setText(ToDisplay(plan_.*field));
}

void PlanPanel::Edit_departExit() {
    airportExit(Edit_depart, &FlightPlan::departure);
}

void PlanPanel::Edit_destExit() {
    airportExit(Edit_dest, &FlightPlan::destination);
}

void PlanPanel::Edit_alternateExit() {
    airportExit(Edit_alternate, &FlightPlan::alternate);
}

void PlanPanel::Edit_dateExit() {
    // A locked box cannot have been changed, and checking it would paint over its yellow.
    if (Edit_date->isReadOnly()) {
        return;
    }
    const CheckedDate checked =
        CheckPlanDate(FromDisplay(Edit_date->text()), services_.locale, today());
    switch (checked.check) {
        case DateCheck::NotADate:
            message(kInvalidDateMessage);
            setDateRejected(true);
            break;
        case DateCheck::Past:
            setDateRejected(true);
            message(kPastDateMessage);
            break;
        case DateCheck::Accepted:
            setDateRejected(false);
            plan_.departure_date = checked.date;
            break;
    }
}

std::optional<std::size_t> PlanPanel::selectedPoint() const {
    const QListWidgetItem* item = ListBox2->currentItem();
    if (!item || !item->isSelected()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(ListBox2->row(item));
}

void PlanPanel::routeEdited(const RouteEditResult& result) {
    if (result.message) {
        message(*result.message);
    }
    if (result.changed) {
        showRoute();
    }
}

void PlanPanel::supprimer1Click() {
    routeEdited(DeleteRoutePoint(plan_, [this] { return selectedPoint(); }));
}

void PlanPanel::insrer1Click() {
    routeEdited(InsertRoutePoint(
        plan_, [this] { return selectedPoint(); }, services_.enter_line));
}

void PlanPanel::ajouter1Click() {
    routeEdited(AppendRoutePoint(plan_, services_.enter_line));
}

void PlanPanel::entrerlaroute1Click() {
    routeEdited(EnterRoute(plan_, services_.enter_line));
}

void PlanPanel::tous1Click() {
    if (services_.open_filed_plans) {
        services_.open_filed_plans("Plans de vol déposés");
    }
    if (services_.logged_in && services_.logged_in() && services_.query_filed_plans) {
        services_.query_filed_plans(std::nullopt);
    }
}

void PlanPanel::pardate1Click() {
    if (!services_.enter_line) {
        return;
    }
    const std::optional<std::string> entered = services_.enter_line(
        {"FP déposés", 170, 120, "Entrez la date", FormatPlanDate(today(), services_.locale)});
    if (!entered) {
        return;
    }
    switch (CheckPlanDate(*entered, services_.locale, today()).check) {
        case DateCheck::NotADate:
            message(kInvalidDateMessage);
            return;
        case DateCheck::Past:
            message(kPastDateMessage);
            return;
        case DateCheck::Accepted:
            break;
    }
    if (services_.open_filed_plans) {
        services_.open_filed_plans("Plans de vol déposés au " + ToDisplay(*entered));
    }
    // The date goes as the user typed it.
    if (services_.logged_in && services_.logged_in() && services_.query_filed_plans) {
        services_.query_filed_plans(*entered);
    }
}

void PlanPanel::FilingAcknowledged(const FieldList& fields) {
    const std::optional<std::string> text = AcknowledgeFiling(plan_, fields);
    if (text && services_.show_in_simulator) {
        if (const auto failure = services_.show_in_simulator(*text);
            failure && services_.show_status) {
            services_.show_status(0, ToDisplay(*failure));
        }
    }
    stateChanged();
}

void PlanPanel::OwnFiledPlan(const FieldList& fields) {
    const ServerCopyResult result = ApplyServerCopy(plan_, fields, services_.locale, today());
    if (result.outcome == ServerCopyOutcome::TooShort) {
        return;
    }
    // The boxes in the order of the copy's fields: the rules, the speed and the departure
    // come before the date, which may stop the copy.
    CheckBox_ifr->setChecked(plan_.flight_rules == "I");
    MaskEdit_vitesse->setValue(ToDisplay(plan_.speed));
    Edit_depart->setText(ToDisplay(plan_.departure));
    if (result.outcome == ServerCopyOutcome::DateUnreadable) {
        return;
    }
    Edit_date->setText(ToDisplay(result.date_text));
    date_rejected_ = false;
    MaskEdit_act->setValue(ToDisplay(plan_.actual_time));
    MaskEdit_fl->setValue(ToDisplay(plan_.cruise_level));
    Edit_dest->setText(ToDisplay(plan_.destination));
    MaskEdit_enroute->setValue(ToDisplay(plan_.time_enroute));
    MaskEdit_fuel->setValue(ToDisplay(plan_.time_fuel));
    Edit_alternate->setText(ToDisplay(plan_.alternate));
    Memo1->setPlainText(ToDisplay(plan_.comments));
    showRoute();
    stateChanged();
}

void PlanPanel::FiledPlanListed(const FieldList& fields) {
    if (const std::optional<std::string> line = ListedPlanLine(fields);
        line && services_.list_filed_plan) {
        services_.list_filed_plan(ToDisplay(*line));
    }
}

}  // namespace tavoro
