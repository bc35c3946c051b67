#include "atcserver/AtcServer.h"

#include <QRegularExpression>
#include <QTime>
#include <algorithm>
#include <optional>
#include <random>

namespace {

// The command's arguments: words separated by blanks, where a double-quoted run is one
// word with its blanks (an AI object's title such as "Beech Baron 58"). Empty when a
// quote is left open.
std::optional<QList<QByteArray>> wordsOf(const QByteArray& text) {
    QList<QByteArray> words;
    QByteArray word;
    bool in_word = false;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            in_word = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (in_word) {
                words << word;
                word.clear();
                in_word = false;
            }
        } else {
            word += c;
            in_word = true;
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    if (in_word) {
        words << word;
    }
    return words;
}

// The fields of a "$FP" line: field 0 ("$FP" and the callsign), "SERVER", then the values.
constexpr qsizetype kPlanLineFields = 17;

// The names the fpdepot command amends a plan's values by, with each value's place among
// them; en-route and fuel times are HH:MM and take two places.
struct PlanValueName {
    const char* name;
    qsizetype index;
    bool time;
};
constexpr PlanValueName kPlanValueNames[] = {
    {"rules", 0, false},     {"aircraft", 1, false},    {"speed", 2, false},
    {"departure", 3, false}, {"date", 4, false},        {"time", 5, false},
    {"level", 6, false},     {"destination", 7, false}, {"enroute", 8, true},
    {"fuel", 10, true},      {"alternate", 12, false},  {"remarks", 13, false},
    {"route", 14, false},
};

bool isWholeNumber(const QByteArray& text) {
    bool ok = false;
    text.toInt(&ok);
    return ok && QRegularExpression(R"(^[+-]?\d+$)").match(QString::fromLatin1(text)).hasMatch();
}

}  // namespace

const char AtcServer::kCommandHelp[] =
    "Commands on standard input, one per line (lines pushed to clients get CR LF added):\n"
    "  send LINE            push LINE as it is to every connected client\n"
    "  zulu HH MM           push ZULU:HH:MM (two digits each) to every logged-in client\n"
    "  metar TEXT           push METAR:TEXT to every logged-in client\n"
    "  failure N            push $ADMIN:FAILURE:N (N a whole number) to every logged-in client\n"
    "  ai ARGS...           push $ControlAI:ARG1:ARG2:... to every logged-in client; a\n"
    "                       double-quoted argument keeps its blanks, e.g.\n"
    "                       ai CREATE AI1 \"Beech Baron 58\" 41.8 12.25 1500 0 0 135 0 120\n"
    "  station add LINE     add (or replace) a station given as a stations-file line and\n"
    "                       announce it (#AA and %, or % alone for a replaced one) to\n"
    "                       every logged-in client\n"
    "  station remove CS    remove station CS and push #DACS to every logged-in client\n"
    "  stations             print the stations, one line each\n"
    "  reports              print, for each connected client that reported, a line\n"
    "                       'report [ID] COUNT LAST-REPORT-LINE', then 'end of reports'\n"
    "  plans                print each pilot's filed plan as 'plan CALLSIGN VALUES' (its\n"
    "                       $FP values from the rules to the route), then 'end of plans'\n"
    "  fpdepot CS [NAME=VALUE]...\n"
    "                       amend pilot CS's filed plan, as a controller would, and push\n"
    "                       its copy $FPDEPOT:CS:... to the clients logged in as CS; NAME\n"
    "                       is rules, aircraft, speed, departure, date, time, level,\n"
    "                       destination, enroute (HH:MM), fuel (HH:MM), alternate,\n"
    "                       remarks or route; a double-quoted VALUE keeps its blanks,\n"
    "                       e.g. fpdepot F-GTAV level=120 remarks=\" RVSM\"\n"
    "  hold                 leave later logins unanswered (the client stays connected,\n"
    "                       not logged in)\n"
    "  release              answer the held logins and answer logins again\n"
    "  flood N              push N bytes of 'x' with no line break to every connected\n"
    "                       client\n"
    "  random N SEED        push N pseudo-random bytes of every value (NUL, CR and LF\n"
    "                       included) to every connected client; a SEED (a whole number)\n"
    "                       gives the same bytes each time\n"
    "  hangup on|off        on: close each new connection as soon as it is accepted\n"
    "  password [TEXT]      refuse later logins whose password differs from TEXT; alone:\n"
    "                       accept every password\n"
    "  drop                 close every client connection\n"
    "  quit                 close every connection and end\n";

AtcServer::AtcServer(Options options, QTextStream& out, QObject* parent)
    : QObject(parent), options_(std::move(options)), out_(out) {
    connect(&server_, &QTcpServer::newConnection, this, &AtcServer::onNewConnection);
}

AtcServer::~AtcServer() {
    // A socket reports its own closing while it is destroyed; the handlers must not
    // run on a table that is being torn down.
    for (auto& [id, client] : clients_) {
        client.socket->disconnect(this);
    }
}

bool AtcServer::Listen() {
    if (!server_.listen(QHostAddress::LocalHost, options_.port)) {
        out_ << "error: cannot listen on port " << options_.port << ": " << server_.errorString()
             << Qt::endl;
        return false;
    }
    out_ << "listening on 127.0.0.1:" << server_.serverPort() << Qt::endl;
    return true;
}

bool AtcServer::Command(const QByteArray& raw) {
    QByteArray line = raw;
    while (line.endsWith('\r') || line.endsWith('\n')) {
        line.chop(1);
    }
    if (line.trimmed().isEmpty()) {
        return true;
    }
    qsizetype blank = line.indexOf(' ');
    QByteArray word = (blank < 0 ? line : line.left(blank)).trimmed();
    QByteArray rest = blank < 0 ? QByteArray() : line.mid(blank + 1).trimmed();

    if (word == "send" && blank >= 0 && line.size() > 5) {
        // Sent exactly as typed, blanks included: the way to push malformed lines.
        QByteArray payload = line.mid(5);
        for (auto& [id, client] : clients_) {
            send(id, payload);
        }
        if (clients_.empty()) {
            out_ << "note: no client connected, nothing sent" << Qt::endl;
        }
        return true;
    }
    if (word == "zulu") {
        auto words = wordsOf(rest);
        bool ok_hours = false;
        bool ok_minutes = false;
        int hours = words && words->size() == 2 ? words->at(0).toInt(&ok_hours) : -1;
        int minutes = words && words->size() == 2 ? words->at(1).toInt(&ok_minutes) : -1;
        if (!ok_hours || !ok_minutes || hours < 0 || hours > 23 || minutes < 0 || minutes > 59) {
            error("zulu takes the hours (0 to 23) and the minutes (0 to 59): zulu 14 05");
            return true;
        }
        pushToLoggedIn(QStringLiteral("ZULU:%1:%2")
                           .arg(hours, 2, 10, QLatin1Char('0'))
                           .arg(minutes, 2, 10, QLatin1Char('0'))
                           .toLatin1());
        return true;
    }
    if (word == "metar") {
        if (rest.isEmpty()) {
            error("metar takes the observation text: metar LIRF 191050Z 21012KT 9999 FEW030 ...");
            return true;
        }
        pushToLoggedIn("METAR:" + rest);
        return true;
    }
    if (word == "failure") {
        if (!isWholeNumber(rest)) {
            error("failure takes a whole number: failure 3");
            return true;
        }
        pushToLoggedIn("$ADMIN:FAILURE:" + rest);
        return true;
    }
    if (word == "ai") {
        auto words = wordsOf(rest);
        if (!words || words->isEmpty()) {
            error(
                "ai takes a sub-command and its arguments (a quote left open is refused): "
                "ai REMOVE AI1");
            return true;
        }
        pushToLoggedIn("$ControlAI:" + words->join(':'));
        return true;
    }
    if (word == "station") {
        if (!stationCommand(rest)) {
            error("station takes 'add LINE' (a stations-file line) or 'remove CALLSIGN'");
        }
        return true;
    }
    if (line == "stations") {
        printStations();
        return true;
    }
    if (line == "reports") {
        printReports();
        return true;
    }
    if (line == "plans") {
        printPlans();
        return true;
    }
    if (word == "fpdepot") {
        amendCommand(rest);
        return true;
    }
    if (line == "hold") {
        hold_logins_ = true;
        out_ << "note: logins are held until release" << Qt::endl;
        return true;
    }
    if (line == "release") {
        hold_logins_ = false;
        std::vector<int> held;
        for (auto& [id, client] : clients_) {
            if (client.login_held) {
                held.push_back(id);
            }
        }
        for (int id : held) {
            if (clients_.count(id)) {
                answerLogin(id);
            }
        }
        out_ << "note: logins are answered again" << Qt::endl;
        return true;
    }
    if (word == "flood" || word == "random") {
        rawCommand(word, rest);
        return true;
    }
    if (word == "hangup" && (rest == "on" || rest == "off")) {
        hangup_ = rest == "on";
        out_ << "note: new connections are " << (hangup_ ? "closed at once" : "kept") << Qt::endl;
        return true;
    }
    if (word == "password") {
        options_.password = rest;
        if (rest.isEmpty()) {
            out_ << "note: every password is accepted" << Qt::endl;
        } else {
            out_ << "note: logins need the password " << QString::fromLatin1(rest) << Qt::endl;
        }
        return true;
    }
    if (line == "drop") {
        dropAll();
        return true;
    }
    if (line == "quit") {
        dropAll();
        return false;
    }
    out_ << "error: unknown command: " << QString::fromLatin1(line) << "\n"
         << kCommandHelp << Qt::flush;
    return true;
}

void AtcServer::rawCommand(const QByteArray& word, const QByteArray& arguments) {
    // Far more than any test needs, and little enough to hold in memory at once.
    constexpr qint64 kMostBytes = qint64{1} << 30;
    const bool random = word == "random";
    auto words = wordsOf(arguments);
    bool ok_size = false;
    bool ok_seed = !random;
    qint64 size = 0;
    std::uint32_t seed = 0;
    if (words && words->size() == (random ? 2 : 1)) {
        size = words->at(0).toLongLong(&ok_size);
        if (random) {
            seed = words->at(1).toUInt(&ok_seed);
        }
    }
    if (!ok_size || !ok_seed || size < 1 || size > kMostBytes) {
        error(random ? "random takes a byte count (1 to 2^30) and a seed: random 1000000 42"
                     : "flood takes a byte count (1 to 2^30): flood 20000000");
        return;
    }
    QByteArray bytes(size, 'x');
    if (random) {
        // The standard fixes the generator's sequence, so a seed gives the same bytes on
        // every machine.
        std::mt19937 generator(seed);
        for (char& byte : bytes) {
            byte = static_cast<char>(generator() & 0xFF);
        }
    }
    const QString what = QStringLiteral("%1 %2 bytes").arg(QString::fromLatin1(word)).arg(size);
    if (clients_.empty()) {
        out_ << "note: no client connected, nothing sent" << Qt::endl;
        return;
    }
    for (auto& [id, client] : clients_) {
        client.socket->write(bytes);
        client.draining = true;
        log(id, "> " + what);
    }
}

bool AtcServer::stationCommand(const QByteArray& arguments) {
    qsizetype blank = arguments.indexOf(' ');
    if (blank < 0) {
        return false;
    }
    QByteArray action = arguments.left(blank);
    QByteArray rest = arguments.mid(blank + 1).trimmed();
    if (action == "add") {
        StationLine parsed = ParseStationLine(rest);
        if (!parsed.error.isEmpty()) {
            error("station add: " + parsed.error);
            return true;
        }
        if (!parsed.station) {
            return false;
        }
        Station& station = *parsed.station;
        auto same = [&](const Station& s) { return s.callsign == station.callsign; };
        auto found = std::find_if(options_.stations.begin(), options_.stations.end(), same);
        if (found != options_.stations.end()) {
            // The client lists a second entry for every "#AA", but takes a "%" of a station it
            // lists as new values in its place; "#DA" then "#AA" would move it to the end.
            *found = station;
            pushToLoggedIn(PositionLine(station));
            return true;
        }
        options_.stations.push_back(station);
        pushToLoggedIn(AnnounceLine(station));
        pushToLoggedIn(PositionLine(station));
        return true;
    }
    if (action == "remove" && !rest.isEmpty() && !rest.contains(' ')) {
        auto same = [&](const Station& s) { return s.callsign == rest; };
        auto found = std::find_if(options_.stations.begin(), options_.stations.end(), same);
        if (found == options_.stations.end()) {
            // Pushing "#DA" for an unknown station stays possible with send.
            error("no station " + QString::fromLatin1(rest));
            return true;
        }
        options_.stations.erase(found);
        pushToLoggedIn("#DA" + rest);
        return true;
    }
    return false;
}

void AtcServer::amendCommand(const QByteArray& arguments) {
    auto words = wordsOf(arguments);
    if (!words || words->isEmpty()) {
        error("fpdepot takes a callsign and NAME=VALUE amendments: fpdepot F-GTAV level=120");
        return;
    }
    const QByteArray callsign = words->takeFirst();
    auto same = [&](const FiledPlan& plan) { return plan.callsign == callsign; };
    auto found = std::find_if(filed_plans_.begin(), filed_plans_.end(), same);
    if (found == filed_plans_.end()) {
        error("no plan filed by " + QString::fromLatin1(callsign));
        return;
    }
    // Every amendment is checked before any is made: a bad one changes nothing.
    QList<QByteArray> values = found->values;
    for (const QByteArray& amendment : *words) {
        const qsizetype equals = amendment.indexOf('=');
        const QByteArray name = equals < 0 ? amendment : amendment.left(equals);
        const QByteArray value = equals < 0 ? QByteArray() : amendment.mid(equals + 1);
        const PlanValueName* known = nullptr;
        for (const PlanValueName& each : kPlanValueNames) {
            if (name == each.name) {
                known = &each;
            }
        }
        if (equals < 0 || !known) {
            error("fpdepot: unknown amendment " + QString::fromLatin1(amendment));
            return;
        }
        const QList<QByteArray> parts = value.split(':');
        if (known->time ? parts.size() != 2 : parts.size() != 1) {
            error(
                QString("fpdepot: %1 takes %2").arg(known->name, known->time ? "HH:MM" : "no ':'"));
            return;
        }
        for (qsizetype i = 0; i < parts.size(); ++i) {
            values[known->index + i] = parts[i];
        }
    }
    found->values = values;
    const QByteArray copy = "$FPDEPOT:" + callsign + ":" + values.join(':');
    std::vector<int> ids;
    for (auto& [id, client] : clients_) {
        if (client.logged_in && client.callsign == callsign) {
            ids.push_back(id);
        }
    }
    for (int id : ids) {
        send(id, copy);
    }
    if (ids.empty()) {
        out_ << "note: " << QString::fromLatin1(callsign)
             << " is not logged in, plan amended but not sent" << Qt::endl;
    }
}

void AtcServer::printPlans() {
    for (const FiledPlan& plan : filed_plans_) {
        out_ << "plan " << QString::fromLatin1(plan.callsign) << " "
             << QString::fromLatin1(plan.values.join(':')) << "\n";
    }
    out_ << "end of plans (" << filed_plans_.size() << ")" << Qt::endl;
}

void AtcServer::printStations() {
    for (const Station& station : options_.stations) {
        out_ << "station " << QString::fromLatin1(PositionLine(station)) << " ("
             << station.atis_lines.size() << " ATIS lines"
             << (station.spoken_text.isEmpty() ? "" : ", spoken text") << ")\n";
    }
    out_ << "end of stations (" << options_.stations.size() << ")" << Qt::endl;
}

void AtcServer::printReports() {
    int count = 0;
    for (const auto& [id, client] : clients_) {
        if (client.report_count > 0) {
            out_ << "report [" << id << "] " << client.report_count << " "
                 << QString::fromLatin1(client.last_report) << "\n";
            ++count;
        }
    }
    out_ << "end of reports (" << count << ")" << Qt::endl;
}

void AtcServer::onNewConnection() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        int id = next_id_++;
        socket->setParent(nullptr);
        Client& client = clients_[id];
        client.socket.reset(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { onReadable(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] {
            log(id, "disconnected");
            // Deleting the socket inside its own signal is unsafe: defer it.
            auto found = clients_.find(id);
            if (found != clients_.end()) {
                found->second.socket.release()->deleteLater();
                clients_.erase(found);
            }
        });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, id] {
            auto found = clients_.find(id);
            if (found != clients_.end() && found->second.draining &&
                found->second.socket->bytesToWrite() == 0) {
                found->second.draining = false;
                log(id, "all sent");
            }
        });
        log(id, "connected from " + socket->peerAddress().toString() + ":" +
                    QString::number(socket->peerPort()));
        if (hangup_) {
            log(id, "hung up");
            // May report the disconnect, and forget the client, before it returns.
            socket->disconnectFromHost();
        }
    }
}

void AtcServer::onReadable(int id) {
    auto found = clients_.find(id);
    if (found == clients_.end()) {
        return;
    }
    Client& client = found->second;
    client.pending += client.socket->readAll();
    qsizetype end;
    while ((end = client.pending.indexOf('\n')) >= 0) {
        QByteArray line = client.pending.left(end);
        client.pending.remove(0, end + 1);
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        onLine(id, line);
        if (!clients_.count(id)) {
            return;
        }
    }
}

void AtcServer::onLine(int id, const QByteArray& line) {
    log(id, "< " + QString::fromLatin1(line));
    QList<QByteArray> fields = line.split(':');
    Client& client = clients_.at(id);
    if (fields[0].startsWith("#AP")) {
        client.callsign = fields[0].mid(3);
        client.password = fields.size() > 3 ? fields[3] : QByteArray();
        if (hold_logins_) {
            client.login_held = true;
            log(id, "login held until release");
        } else {
            answerLogin(id);
        }
    } else if (fields[0] == "@N" || fields[0] == "@S") {
        // Kept whatever the login state: a client reports from the moment it connects.
        client.last_report = line;
        ++client.report_count;
    } else if (fields[0].startsWith("$CQ") && fields.size() > 2 && fields[2] == "ATIS") {
        answerAtisQuery(id, fields);
    } else if (fields[0].startsWith("$CQ") && fields.size() > 2 && fields[1] == "SERVER" &&
               fields[2] == "DEPOTFPA") {
        listFiledPlans(id, fields);
    } else if (fields[0].startsWith("$FP")) {
        fileFlightPlan(id, fields);
    } else if (fields[0].startsWith("#DP")) {
        client.logged_in = false;
        client.login_held = false;
    }
}

void AtcServer::answerLogin(int id) {
    Client& client = clients_.at(id);
    client.login_held = false;
    if (!options_.password.isEmpty() && client.password != options_.password) {
        send(id, "$ERserver:" + client.callsign + ":Invalid password");
        return;
    }
    client.logged_in = true;
    send(id, "#TMserver:" + client.callsign + ":Bienvenue sur le serveur Tavoro");
    for (const Station& station : options_.stations) {
        send(id, AnnounceLine(station));
        send(id, PositionLine(station));
    }
}

void AtcServer::answerAtisQuery(int id, const QList<QByteArray>& fields) {
    Client& client = clients_.at(id);
    QByteArray station_callsign = fields[1];
    if (!client.logged_in) {
        log(id, "not logged in: ATIS query ignored");
        return;
    }
    auto same = [&](const Station& s) { return s.callsign == station_callsign; };
    auto found = std::find_if(options_.stations.begin(), options_.stations.end(), same);
    if (found == options_.stations.end()) {
        log(id, "no station " + QString::fromLatin1(station_callsign) + ": ATIS query ignored");
        return;
    }
    // Addressed to the callsign the query came from.
    QByteArray to = fields[0].mid(3);
    for (const QByteArray& text : found->atis_lines) {
        send(id, "#TM" + found->callsign + ":" + to + ":" + text);
    }
    if (!found->spoken_text.isEmpty()) {
        send(id, "#TMAUDIO" + found->callsign + ":" + to + ":" + found->spoken_text);
    }
}

void AtcServer::fileFlightPlan(int id, const QList<QByteArray>& fields) {
    Client& client = clients_.at(id);
    const QByteArray callsign = fields[0].mid(3);
    if (!client.logged_in) {
        log(id, "not logged in: flight plan ignored");
        return;
    }
    // A remark or a route holding ":" shifts the fields: such a plan cannot be kept. The
    // pilot is told in a text from "SERVER", which no client takes for a login answer.
    QString wrong;
    if (fields.size() != kPlanLineFields) {
        wrong = QString("%1 champs au lieu de %2").arg(fields.size()).arg(kPlanLineFields);
    } else if (fields[1] != "SERVER") {
        wrong = "champ 1 " + QString::fromLatin1(fields[1]) + " au lieu de SERVER";
    }
    if (!wrong.isEmpty()) {
        log(id, "malformed flight plan: " + wrong);
        send(id, "#TMSERVER:" + callsign + ":Plan de vol refuse: " + wrong.toLatin1());
        return;
    }
    const QList<QByteArray> values = fields.mid(2);
    auto same = [&](const FiledPlan& plan) { return plan.callsign == callsign; };
    auto found = std::find_if(filed_plans_.begin(), filed_plans_.end(), same);
    if (found == filed_plans_.end()) {
        filed_plans_.push_back({callsign, values});
    } else {
        found->values = values;
    }
    log(id, "flight plan filed for " + QString::fromLatin1(callsign));
    // Departure and destination are values 3 and 7.
    send(id, "$ACUDEPOT:" + callsign + ":FP " + callsign + " " + values[3] + "-" + values[7] +
                 " depose");
}

void AtcServer::listFiledPlans(int id, const QList<QByteArray>& fields) {
    Client& client = clients_.at(id);
    if (!client.logged_in) {
        log(id, "not logged in: filed-plan query ignored");
        return;
    }
    if (fields.size() != 4) {
        log(id, "malformed filed-plan query: TOUS or a date expected in field 3");
        return;
    }
    // Dates are compared as written: the pilots' clients write them in their own short
    // date format, the same on one network.
    const QByteArray& which = fields[3];
    const QByteArray asker = fields[0].mid(3);
    int count = 0;
    for (const FiledPlan& plan : filed_plans_) {
        if (which == "TOUS" || plan.values[4] == which) {
            send(id, "$DEPOTFP:" + asker + ":" + plan.callsign + ":" + plan.values.join(':'));
            ++count;
        }
    }
    log(id, QString("%1 filed plans listed").arg(count));
}

void AtcServer::send(int id, const QByteArray& line) {
    auto found = clients_.find(id);
    if (found == clients_.end()) {
        return;
    }
    found->second.socket->write(line + "\r\n");
    log(id, "> " + QString::fromLatin1(line));
}

void AtcServer::pushToLoggedIn(const QByteArray& line) {
    std::vector<int> ids;
    for (auto& [id, client] : clients_) {
        if (client.logged_in) {
            ids.push_back(id);
        }
    }
    for (int id : ids) {
        send(id, line);
    }
    if (ids.empty()) {
        out_ << "note: no client logged in, nothing sent: " << QString::fromLatin1(line)
             << Qt::endl;
    }
}

void AtcServer::log(int id, const QString& text) {
    out_ << QTime::currentTime().toString("HH:mm:ss.zzz") << " [" << id << "] " << text << Qt::endl;
}

void AtcServer::error(const QString& text) {
    out_ << "error: " << text << Qt::endl;
}

void AtcServer::dropAll() {
    std::vector<int> ids;
    for (auto& [id, client] : clients_) {
        ids.push_back(id);
    }
    for (int id : ids) {
        auto found = clients_.find(id);
        if (found != clients_.end()) {
            found->second.socket->disconnectFromHost();
        }
    }
}
