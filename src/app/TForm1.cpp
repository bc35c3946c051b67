#include "app/TForm1.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QStatusBar>
#include <QVBoxLayout>

#include "core/Text.h"
#include "sim/AircraftConversion.h"

namespace tavoro {
namespace {

QWidget* makePanel(const char* name, QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->hide();
    return panel;
}

}  // namespace

TForm1::TForm1(MainWindowContext context, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowStaysOnTopHint),
      context_(std::move(context)) {
    setObjectName("Form1");
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 0);
    buildTopRow(central);
    buildPanels(central);
    setCentralWidget(central);
    buildMenu();
    buildStatusBar();

    ServerLink& link = context_.link;
    connect(&link, &ServerLink::panelChanged, this, &TForm1::paintServerPanel);
    connect(&link, &ServerLink::statusMessage, this, &TForm1::SetStatusText);
    // Queued: the error comes from inside a socket call, and a message box's own event
    // loop must not run in the middle of it.
    connect(
        &link, &ServerLink::errorMessage, this,
        [this](const QString& text) {
            context_.dialogs.ShowMessage(this, Dialogs::MessageKind::Warning, kCaption, text);
        },
        Qt::QueuedConnection);
    paintServerPanel();

    SimulatorLink& sim_link = context_.sim_link;
    connect(&sim_link, &SimulatorLink::panelChanged, this, &TForm1::paintSimulatorPanel);
    connect(&sim_link, &SimulatorLink::statusMessage, this, &TForm1::SetStatusText);
    connect(&sim_link, &SimulatorLink::identityRead, this, &TForm1::showIdentity);
    connect(&sim_link, &SimulatorLink::stateUpdated, this, &TForm1::showAircraftState);
    connect(Panel_FSX, &StatePanel::clicked, this, &TForm1::Panel_FSXClick);
    paintSimulatorPanel();
    resize(520, 300);
}

void TForm1::buildTopRow(QWidget* central) {
    auto* row = new QHBoxLayout;
    Panel_FSX = new StatePanel("Panel_FSX", "", central);
    Panel_server = new StatePanel("Panel_server", "ATC server", central);
    Label_ID = new QLabel("Inconnu", central);
    Label_ID->setObjectName("Label_ID");
    Label_airline = new QLabel(central);
    Label_airline->setObjectName("Label_airline");
    Label_xpd = new QLabel(central);
    Label_xpd->setObjectName("Label_xpd");
    Panel_charly = new StatePanel("Panel_charly", "S", central);
    Panel_charly->setColour(kYellow);
    Panel_FSX->setMinimumWidth(48);
    Panel_server->setMinimumWidth(80);
    Panel_charly->setFixedWidth(24);
    row->addWidget(Panel_FSX);
    row->addWidget(Panel_server);
    row->addWidget(Label_ID);
    row->addWidget(Label_airline);
    row->addWidget(Label_xpd);
    row->addStretch();
    row->addWidget(Panel_charly);
    static_cast<QVBoxLayout*>(central->layout())->addLayout(row);

    connect(Panel_server, &StatePanel::clicked, this, &TForm1::Panel_serverClick);
    connect(Panel_charly, &StatePanel::clicked, this, &TForm1::Panel_charlyClick);
}

void TForm1::buildPanels(QWidget* central) {
    auto* layout = static_cast<QVBoxLayout*>(central->layout());
    Panel_param = makePanel("Panel_param", central);
    Panel_ATC = makePanel("Panel_ATC", central);
    Panel_FP = makePanel("Panel_FP", central);
    Panel_meteo = makePanel("Panel_meteo", central);

    // Settings: the server group, an empty group, and the ATIS audio box.
    auto* param = new QVBoxLayout(Panel_param);
    Panel_atc_server = new QFrame(Panel_param);
    Panel_atc_server->setObjectName("Panel_atc_server");
    auto* server = new QHBoxLayout(Panel_atc_server);
    Label_server = new QLabel(Panel_atc_server);
    Label_server->setObjectName("Label_server");
    Edit_serveradresse = new QLineEdit(Panel_atc_server);
    Edit_serveradresse->setObjectName("Edit_serveradresse");
    Edit_serveradresse->setPlaceholderText("adresse");
    Edit_serveradresse->setToolTip("adresse");
    Edit_serverport = new QLineEdit(Panel_atc_server);
    Edit_serverport->setObjectName("Edit_serverport");
    Edit_serverport->setPlaceholderText("port");
    Edit_serverport->setToolTip("port");
    Edit_serverport->setMaximumWidth(70);
    server->addWidget(Label_server);
    server->addWidget(Edit_serveradresse, 1);
    server->addWidget(Edit_serverport);
    Panel_TS = new QFrame(Panel_param);
    Panel_TS->setObjectName("Panel_TS");
    Panel_div = new QFrame(Panel_param);
    Panel_div->setObjectName("Panel_div");
    auto* div = new QHBoxLayout(Panel_div);
    CheckBox_atis = new QCheckBox("ATIS audio", Panel_div);
    CheckBox_atis->setObjectName("CheckBox_atis");
    div->addWidget(CheckBox_atis);
    param->addWidget(Panel_atc_server);
    param->addWidget(Panel_TS);
    param->addWidget(Panel_div);
    param->addStretch();

    // Typing reaches the settings at each keystroke, for the next connection; only a
    // user's edit does, so showing the panel never rewrites the values.
    connect(Edit_serveradresse, &QLineEdit::textEdited, this,
            [this](const QString& text) { context_.settings.server_address = FromDisplay(text); });
    connect(Edit_serverport, &QLineEdit::textEdited, this,
            [this](const QString& text) { context_.settings.server_port = FromDisplay(text); });
    connect(CheckBox_atis, &QCheckBox::clicked, this,
            [this](bool checked) { context_.settings.atis_audio = checked; });

    auto* atc = new QVBoxLayout(Panel_ATC);
    ListBox_ATC = new QListWidget(Panel_ATC);
    ListBox_ATC->setObjectName("ListBox_ATC");
    atc->addWidget(ListBox_ATC);
    atc_list_box_ = new AtcListBox(*ListBox_ATC, context_.atc_list, context_.atis, this);
    connect(&context_.link, &ServerLink::receiveTickDone, atc_list_box_, &AtcListBox::Flush);
    connect(ListBox_ATC, &QListWidget::itemClicked, this, &TForm1::ListBox_ATCClick);

    for (QWidget* panel : {Panel_param, Panel_ATC, Panel_FP, Panel_meteo}) {
        layout->addWidget(panel, 1);
    }
    layout->addStretch();
}

void TForm1::buildMenu() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName("MainMenu1");
    auto item = [this](const char* name, const QString& caption) {
        QAction* action = MainMenu1->addAction(caption);
        action->setObjectName(name);
        return action;
    };
    listeATC1 = item("listeATC1", "liste ATC");
    Plandevol1 = item("Plandevol1", "Plan de vol");
    meteo1 = item("meteo1", "meteo");
    parametres1 = item("parametres1", "parametres");
    FPdeposs1 = MainMenu1->addMenu("FP deposés");
    FPdeposs1->setObjectName("FPdeposs1");
    tous1 = FPdeposs1->addAction("tous");
    tous1->setObjectName("tous1");
    pardate1 = FPdeposs1->addAction("par date");
    pardate1->setObjectName("pardate1");
    objet1 = item("objet1", "objet");
    objet1->setVisible(false);

    connect(listeATC1, &QAction::triggered, this, &TForm1::listeATC1Click);
    connect(Plandevol1, &QAction::triggered, this, [this] { showOnly(Panel_FP); });
    connect(meteo1, &QAction::triggered, this, [this] {
        showOnly(Panel_meteo);
        emit weatherRequested();
    });
    connect(parametres1, &QAction::triggered, this, &TForm1::parametres1Click);
    connect(tous1, &QAction::triggered, this, &TForm1::allFiledPlansRequested);
    connect(pardate1, &QAction::triggered, this, &TForm1::filedPlansByDateRequested);
    connect(objet1, &QAction::triggered, this, &TForm1::objectViewRequested);
}

void TForm1::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar1");
    bar->setSizeGripEnabled(false);
    const int widths[2] = {100, 200};
    for (int i = 0; i < 2; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusBar1_panel%1").arg(i));
        panel->setFixedWidth(widths[i]);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        bar->addWidget(panel);
        status_panels_[i] = panel;
    }
    Button2 = new QPushButton("X", bar);
    Button2->setObjectName("Button2");
    Button2->setFixedWidth(24);
    bar->addPermanentWidget(Button2);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
}

void TForm1::SetStatusText(int panel, const QString& text) {
    if (panel >= 0 && panel < static_cast<int>(status_panels_.size())) {
        status_panels_[panel]->setText(text);
    }
}

QString TForm1::StatusText(int panel) const {
    if (panel < 0 || panel >= static_cast<int>(status_panels_.size())) {
        return {};
    }
    return status_panels_[panel]->text();
}

void TForm1::showOnly(QWidget* panel) {
    for (QWidget* each : {Panel_param, Panel_ATC, Panel_FP, Panel_meteo}) {
        each->setVisible(each == panel);
    }
}

void TForm1::paintServerPanel() {
    Panel_server->setColour(context_.link.panelColour());
    Panel_server->setBevel(context_.link.panelBevel());
}

void TForm1::paintSimulatorPanel() {
    Panel_FSX->setColour(context_.sim_link.panelColour());
    Panel_FSX->setBevel(context_.sim_link.panelBevel());
}

void TForm1::showIdentity() {
    const AircraftIdentity& identity = context_.identity;
    Label_ID->setText(ToDisplay(TrimBlanks(identity.atc_identifier)) + "/" +
                      ToDisplay(TrimBlanks(identity.atc_model)));
    Label_airline->setText(ToDisplay(TrimBlanks(identity.atc_airline)));
}

void TForm1::showAircraftState() {
    setWindowTitle(QString::fromStdString(ClockCaption(kCaption, context_.aircraft)));
    Label_xpd->setText("xpd:" + QString::fromStdString(context_.aircraft.transponder_code));
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TForm1::FormShow() {
    setWindowTitle(kCaption);
    emit shown();
}

void TForm1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        FormActivate();
    }
}

void TForm1::FormActivate() {
    context_.link.RepaintFromConnection();
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TForm1::FormClose() {
    emit closed();
}

void TForm1::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    FormPaint();
}

void TForm1::FormPaint() {
    // The window paints nothing of its own: the flight-plan panel's state is applied.
    emit painted();
}

void TForm1::listeATC1Click() {
    showOnly(Panel_ATC);
    atc_list_box_->ShowStations();
}

void TForm1::parametres1Click() {
    const Settings& settings = context_.settings;
    Label_server->setText(ToDisplay(settings.server_name));
    Edit_serveradresse->setText(ToDisplay(settings.server_address));
    Edit_serverport->setText(ToDisplay(settings.server_port));
    CheckBox_atis->setChecked(settings.atis_audio);
    showOnly(Panel_param);
}

void TForm1::Panel_FSXClick() {
    context_.sim_link.ToggleSimulatorLink();
}

void TForm1::Panel_serverClick() {
    if (context_.link.socket_connected()) {
        context_.link.DisconnectFromServer();
    } else {
        context_.link.ConnectToServer();
    }
}

void TForm1::Panel_charlyClick() {
    context_.reports.ToggleModeC();
    TransponderPanelLook look = TransponderPanelLookOf(context_.reports.mode_c());
    Panel_charly->setCaption(look.caption);
    Panel_charly->setColour(look.colour);
    Panel_charly->setBevel(look.bevel);
}

void TForm1::ListBox_ATCClick(QListWidgetItem* item) {
    atc_list_box_->SelectLine(item);
}

void TForm1::Button2Click() {
    Masquer();
}

void TForm1::Afficher() {
    move(10, 10);
    showNormal();
    raise();
    activateWindow();
}

void TForm1::Masquer() {
    showMinimized();
}

}  // namespace tavoro
