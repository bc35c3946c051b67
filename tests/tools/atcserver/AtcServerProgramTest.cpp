#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include "atcserver/Stations.h"
#include "support/AtcServerProcess.h"
#include "support/EventLoop.h"

namespace {

using tavoro::test::AtcServerProcess;
using tavoro::test::WaitUntil;

// A pilot client at its barest: a socket that sends lines and collects the lines the
// server sends, cut at CR LF.
class RawClient {
public:
    explicit RawClient(quint16 port) {
        socket_.connectToHost("127.0.0.1", port);
        QObject::connect(&socket_, &QTcpSocket::readyRead, [this] {
            pending_ += socket_.readAll();
            qsizetype end;
            while ((end = pending_.indexOf("\r\n")) >= 0) {
                lines_ << pending_.left(end);
                pending_.remove(0, end + 2);
            }
        });
    }

    bool connected() {
        return WaitUntil([&] { return socket_.state() == QAbstractSocket::ConnectedState; });
    }
    void Send(const QByteArray& line) { socket_.write(line + "\r\n"); }
    // Waits until `count` lines have come, and returns them all.
    QList<QByteArray> Lines(qsizetype count) {
        WaitUntil([&] { return lines_.size() >= count; });
        return lines_;
    }
    // The lines that came after the first `from`, once `count` of them have.
    QList<QByteArray> LinesAfter(qsizetype from, qsizetype count) {
        return Lines(from + count).mid(from);
    }
    qsizetype received() const { return lines_.size(); }

private:
    QTcpSocket socket_;
    QByteArray pending_;
    QList<QByteArray> lines_;
};

constexpr char kStations[] =
    "# two stations\n"
    "LIRF_TWR|18.700|4|30|4|41.80028|12.23889|14|Fiumicino Tower information Alpha|Runways 16R "
    "for landing, 16L for departure, expect visual approach|Fiumicino information Alpha\n"
    "LIRA_TWR|20.200|4|25|4|41.79944|12.59500|427||\n";

class AtcServerProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(stations_.open());
        stations_.write(kStations);
        stations_.flush();
        server_ =
            std::make_unique<AtcServerProcess>(QStringList{"--stations", stations_.fileName()});
        ASSERT_TRUE(server_->started()) << server_->Output().join('\n').toStdString();
    }

    // A client logged in as `callsign`, past the login answer and the station announcements.
    std::unique_ptr<RawClient> loggedIn(const QByteArray& callsign = "ABC12") {
        auto client = std::make_unique<RawClient>(server_->port());
        EXPECT_TRUE(client->connected());
        client->Send("#AP" + callsign + ":SERVER:Tavoro:pw:C172:C172SP:1");
        client->Lines(5);
        return client;
    }

    QTemporaryFile stations_;
    std::unique_ptr<AtcServerProcess> server_;
};

TEST_F(AtcServerProgramTest, ALoginIsAnsweredThenEveryStationIsAnnounced) {
    RawClient client(server_->port());
    ASSERT_TRUE(client.connected());
    client.Send("#APABC12:SERVER:Tavoro:pw:C172:C172SP:1");
    EXPECT_EQ(client.Lines(5), (QList<QByteArray>{
                                   "#TMserver:ABC12:Bienvenue sur le serveur Tavoro",
                                   "#AALIRF_TWR",
                                   "%LIRF_TWR:18.700:4:30:4:41.80028:12.23889:14",
                                   "#AALIRA_TWR",
                                   "%LIRA_TWR:20.200:4:25:4:41.79944:12.59500:427",
                               }));
}

TEST_F(AtcServerProgramTest, AnAtisQueryIsAnsweredWithTheStationsTextsThenItsSpokenText) {
    auto client = loggedIn();
    // An unknown station gets no answer; the next query's answer comes first.
    client->Send("$CQABC12:LFPG_TWR:ATIS");
    client->Send("$CQABC12:LIRF_TWR:ATIS");
    EXPECT_EQ(client->LinesAfter(5, 3),
              (QList<QByteArray>{
                  "#TMLIRF_TWR:ABC12:Fiumicino Tower information Alpha",
                  "#TMLIRF_TWR:ABC12:Runways 16R for landing, 16L for departure, expect "
                  "visual approach",
                  "#TMAUDIOLIRF_TWR:ABC12:Fiumicino information Alpha",
              }));

    // One ATIS line, empty, and nothing to speak: no spoken line.
    client->Send("$CQABC12:LIRA_TWR:ATIS");
    // The answer leaves as the query is handled; the marker comes after it.
    ASSERT_TRUE(server_->WaitForReceived("$CQABC12:LIRA_TWR:ATIS"));
    server_->Command("send END");
    EXPECT_EQ(client->LinesAfter(8, 2), (QList<QByteArray>{"#TMLIRA_TWR:ABC12:", "END"}));
}

TEST_F(AtcServerProgramTest, CommandsPushTheirLinesToLoggedInClientsOnly) {
    auto pilot = loggedIn();
    // Connected but never logged in: pushed lines are not for it.
    RawClient visitor(server_->port());
    ASSERT_TRUE(visitor.connected());
    ASSERT_TRUE(server_->WaitForClients(2));

    struct Push {
        const char* command;
        QList<QByteArray> lines;
    };
    const Push pushes[] = {
        {"zulu 7 5", {"ZULU:07:05"}},
        {"zulu 23 59", {"ZULU:23:59"}},
        {"metar LIRF 191050Z 21012KT 9999 FEW030 18/09 Q1015",
         {"METAR:LIRF 191050Z 21012KT 9999 FEW030 18/09 Q1015"}},
        {"failure 3", {"$ADMIN:FAILURE:3"}},
        {"failure -1", {"$ADMIN:FAILURE:-1"}},
        {R"(ai CREATE AI1 "Beech Baron 58" 41.8 12.25 1500 0 0 135 0 120)",
         {"$ControlAI:CREATE:AI1:Beech Baron 58:41.8:12.25:1500:0:0:135:0:120"}},
        {"ai START AI1 43200", {"$ControlAI:START:AI1:43200"}},
        {"station add LIRF_APP|19.200|5|60|5|41.8|12.25|0|Roma Approach|Roma",
         {"#AALIRF_APP", "%LIRF_APP:19.200:5:60:5:41.8:12.25:0"}},
        {"station remove LIRA_TWR", {"#DALIRA_TWR"}},
        // Refused: each says why and sends nothing.
        {"zulu 24 00", {}},
        {"zulu 12", {}},
        {"failure three", {}},
        {R"(ai CREATE "open quote)", {}},
        {"ai", {}},
        {"station add LIRF_APP|19.200", {}},
        {"station remove LFPG_TWR", {}},
        {"station", {}},
        {"metar", {}},
    };
    qsizetype seen = 5;
    for (const Push& push : pushes) {
        server_->Command(push.command);
        // A marker after each command shows where its lines end.
        server_->Command("send --");
        QList<QByteArray> expected = push.lines;
        expected << "--";
        EXPECT_EQ(pilot->LinesAfter(seen, expected.size()), expected) << push.command;
        seen = pilot->received();
    }
    // The visitor got the markers alone.
    EXPECT_EQ(visitor.Lines(std::size(pushes)),
              QList<QByteArray>(static_cast<qsizetype>(std::size(pushes)), "--"));
    EXPECT_EQ(server_->Output().filter(QRegularExpression("^error: ")).size(), 9);

    // Stations added and removed are what later logins are told of, and what answers.
    auto late = loggedIn();
    EXPECT_EQ(late->Lines(5).mid(1), (QList<QByteArray>{
                                         "#AALIRF_TWR",
                                         "%LIRF_TWR:18.700:4:30:4:41.80028:12.23889:14",
                                         "#AALIRF_APP",
                                         "%LIRF_APP:19.200:5:60:5:41.8:12.25:0",
                                     }));
    late->Send("$CQABC12:LIRF_APP:ATIS");
    EXPECT_EQ(late->LinesAfter(5, 2), (QList<QByteArray>{"#TMLIRF_APP:ABC12:Roma Approach",
                                                         "#TMAUDIOLIRF_APP:ABC12:Roma"}));
}

TEST_F(AtcServerProgramTest, AddingAKnownStationReplacesItWithoutAnnouncingItAgain) {
    auto pilot = loggedIn();
    server_->Command(
        "station add LIRF_TWR|18.750|4|35|4|41.8|12.24|14|Fiumicino Tower information Bravo|"
        "Fiumicino information Bravo");
    server_->Command("send --");
    EXPECT_EQ(pilot->LinesAfter(5, 2),
              (QList<QByteArray>{"%LIRF_TWR:18.750:4:35:4:41.8:12.24:14", "--"}));

    // Later logins are told of it once, in its place, with its new values and texts.
    auto late = loggedIn();
    EXPECT_EQ(late->Lines(5).mid(1), (QList<QByteArray>{
                                         "#AALIRF_TWR",
                                         "%LIRF_TWR:18.750:4:35:4:41.8:12.24:14",
                                         "#AALIRA_TWR",
                                         "%LIRA_TWR:20.200:4:25:4:41.79944:12.59500:427",
                                     }));
    late->Send("$CQABC12:LIRF_TWR:ATIS");
    EXPECT_EQ(late->LinesAfter(5, 2),
              (QList<QByteArray>{"#TMLIRF_TWR:ABC12:Fiumicino Tower information Bravo",
                                 "#TMAUDIOLIRF_TWR:ABC12:Fiumicino information Bravo"}));
}

TEST_F(AtcServerProgramTest, HeldLoginsAreAnsweredOnRelease) {
    server_->Command("hold");
    RawClient client(server_->port());
    ASSERT_TRUE(client.connected());
    client.Send("#APABC12:SERVER:Tavoro:pw:C172:C172SP:1");
    client.Send("@S:ABC12:1200:1:48.72510: 2.35520:  350:   0:274:1:0");
    ASSERT_TRUE(server_->WaitForReceived("@S:ABC12:1200:1:48.72510: 2.35520:  350:   0:274:1:0"));
    // Not logged in yet: a push passes it by, and its queries are not answered.
    server_->Command("failure 1");
    client.Send("$CQABC12:LIRF_TWR:ATIS");
    ASSERT_TRUE(server_->WaitForReceived("$CQABC12:LIRF_TWR:ATIS"));
    server_->Command("release");
    EXPECT_EQ(client.Lines(1).first(), "#TMserver:ABC12:Bienvenue sur le serveur Tavoro");
}

TEST_F(AtcServerProgramTest, ReportsListTheLastReportOfEachClient) {
    // One after the other, so that the server numbers them in this order.
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 1; i <= 3; ++i) {
        clients.push_back(std::make_unique<RawClient>(server_->port()));
        ASSERT_TRUE(server_->WaitForClients(i));
    }
    RawClient& first = *clients[0];
    RawClient& second = *clients[1];
    first.Send("@S:ABC12:1200:1: 5.50000:-0.25000:  350:   0:274:1:0");
    first.Send("@N:ABC12:1200:1: 5.50000:-0.25000:  360:   0:274:1:9");
    second.Send("@S:XYZ99:7000:1: 0.00000: 0.00000:    0:   0:0:1:0");
    // Lines that only look like reports are not kept.
    second.Send("@NX:XYZ99");
    second.Send("#TMserver:@N");
    ASSERT_TRUE(server_->WaitForReceived("#TMserver:@N"));
    ASSERT_TRUE(server_->WaitForReceived("@N:ABC12:1200:1: 5.50000:-0.25000:  360:   0:274:1:9"));

    server_->Command("reports");
    ASSERT_TRUE(WaitUntil([&] { return server_->Output().contains("end of reports (2)"); }));
    QStringList listing = server_->Output().filter(QRegularExpression("^report "));
    EXPECT_EQ(listing, (QStringList{
                           "report [1] 2 @N:ABC12:1200:1: 5.50000:-0.25000:  360:   0:274:1:9",
                           "report [2] 1 @S:XYZ99:7000:1: 0.00000: 0.00000:    0:   0:0:1:0",
                       }));
}

// Raw pushes carry their bytes as they are: a flood of one character and no line break,
// and random bytes of every value, the same again for the same seed. "all sent" follows
// each once it has left.
TEST_F(AtcServerProgramTest, RawPushesCarryTheirBytesAsTheyAre) {
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", server_->port());
    ASSERT_TRUE(server_->WaitForClients(1));
    QByteArray received;
    auto next = [&](qsizetype size) {
        WaitUntil([&] {
            received += socket.readAll();
            return received.size() >= size;
        });
        QByteArray bytes = received.left(size);
        received.remove(0, bytes.size());
        return bytes;
    };

    server_->Command("flood 100000");
    EXPECT_EQ(next(100000), QByteArray(100000, 'x'));
    server_->Command("random 65536 7");
    const QByteArray first = next(65536);
    for (char byte : {'\0', '\r', '\n', '\x80', '\xff'}) {
        EXPECT_TRUE(first.contains(byte)) << static_cast<int>(byte);
    }
    server_->Command("random 65536 7");
    EXPECT_EQ(next(65536), first);
    server_->Command("random 65536 8");
    EXPECT_NE(next(65536), first);
    EXPECT_TRUE(WaitUntil([&] {
        return server_->Output().filter(QRegularExpression(R"(^\S+ \[1\] all sent$)")).size() == 4;
    }));

    for (const char* refused : {"flood 0", "flood many", "random 10", "random 10 seven"}) {
        server_->Command(refused);
    }
    server_->Command("send --");
    EXPECT_EQ(next(4), "--\r\n");
    EXPECT_EQ(server_->Output().filter(QRegularExpression("^error: ")).size(), 4);
}

// "hangup on" closes each new connection at once; "password" refuses logins with another
// password. Both end when switched off.
TEST_F(AtcServerProgramTest, HangupAndPasswordEndConnectionsUntilSwitchedOff) {
    auto applied = [&](const char* command, const QString& note) {
        server_->Command(command);
        return WaitUntil([&] { return server_->Output().contains(note); });
    };
    ASSERT_TRUE(applied("hangup on", "note: new connections are closed at once"));
    QTcpSocket hung;
    hung.connectToHost("127.0.0.1", server_->port());
    EXPECT_TRUE(WaitUntil([&] { return hung.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_TRUE(WaitUntil([&] { return server_->Output().filter("] hung up").size() == 1; }));

    ASSERT_TRUE(applied("hangup off", "note: new connections are kept"));
    ASSERT_TRUE(applied("password right", "note: logins need the password right"));
    RawClient refused(server_->port());
    ASSERT_TRUE(refused.connected());
    refused.Send("#APABC12:SERVER:Tavoro:pw:C172:C172SP:1");
    EXPECT_EQ(refused.Lines(1), QList<QByteArray>{"$ERserver:ABC12:Invalid password"});

    ASSERT_TRUE(applied("password", "note: every password is accepted"));
    auto pilot = loggedIn();
    EXPECT_EQ(pilot->Lines(1).first(), "#TMserver:ABC12:Bienvenue sur le serveur Tavoro");
    EXPECT_EQ(server_->Output().filter("] hung up").size(), 1);
}

// A "$FP" line as the client sends it: 17 fields, en-route and fuel times as two each.
QByteArray PlanLine(const QByteArray& callsign, const QByteArray& date, const QByteArray& level) {
    return "$FP" + callsign + ":SERVER:I:C172SP:110:LIRU:" + date + ":0930:" + level +
           ":LIRN:01:45:04:30:LIRQ: RVSM:BOL/PNZ";
}

TEST_F(AtcServerProgramTest, FiledPlansAreAcknowledgedKeptAndListed) {
    auto pilot = loggedIn("ABC12");
    auto other = loggedIn("XYZ99");
    pilot->Send(PlanLine("ABC12", "20/03/2026", "045"));
    EXPECT_EQ(pilot->LinesAfter(5, 1),
              (QList<QByteArray>{"$ACUDEPOT:ABC12:FP ABC12 LIRU-LIRN depose"}));
    other->Send(PlanLine("XYZ99", "21/03/2026", "065"));
    EXPECT_EQ(other->LinesAfter(5, 1),
              (QList<QByteArray>{"$ACUDEPOT:XYZ99:FP XYZ99 LIRU-LIRN depose"}));
    // Filing again replaces the pilot's plan in its place.
    pilot->Send(PlanLine("ABC12", "20/03/2026", "055"));
    ASSERT_EQ(pilot->LinesAfter(6, 1).size(), 1);

    pilot->Send("$CQABC12:SERVER:DEPOTFPA:TOUS");
    EXPECT_EQ(pilot->LinesAfter(7, 2),
              (QList<QByteArray>{
                  "$DEPOTFP:ABC12:ABC12:I:C172SP:110:LIRU:20/03/2026:0930:055:LIRN:01:45:04:"
                  "30:LIRQ: RVSM:BOL/PNZ",
                  "$DEPOTFP:ABC12:XYZ99:I:C172SP:110:LIRU:21/03/2026:0930:065:LIRN:01:45:04:"
                  "30:LIRQ: RVSM:BOL/PNZ",
              }));
    // By date, compared as written; a date nobody filed for lists nothing.
    pilot->Send("$CQABC12:SERVER:DEPOTFPA:22/03/2026");
    pilot->Send("$CQABC12:SERVER:DEPOTFPA:21/03/2026");
    EXPECT_EQ(pilot->LinesAfter(9, 1),
              (QList<QByteArray>{"$DEPOTFP:ABC12:XYZ99:I:C172SP:110:LIRU:21/03/2026:0930:065:"
                                 "LIRN:01:45:04:30:LIRQ: RVSM:BOL/PNZ"}));

    server_->Command("plans");
    ASSERT_TRUE(WaitUntil([&] { return server_->Output().contains("end of plans (2)"); }));
    EXPECT_EQ(server_->Output().filter(QRegularExpression("^plan ")),
              (QStringList{
                  "plan ABC12 I:C172SP:110:LIRU:20/03/2026:0930:055:LIRN:01:45:04:30:LIRQ: "
                  "RVSM:BOL/PNZ",
                  "plan XYZ99 I:C172SP:110:LIRU:21/03/2026:0930:065:LIRN:01:45:04:30:LIRQ: "
                  "RVSM:BOL/PNZ",
              }));
}

TEST_F(AtcServerProgramTest, AMalformedPlanIsRefusedWithATextAndTheServerGoesOn) {
    // Not logged in: not kept, not answered.
    RawClient visitor(server_->port());
    ASSERT_TRUE(visitor.connected());
    visitor.Send(PlanLine("VIS01", "20/03/2026", "045"));
    ASSERT_TRUE(server_->WaitForReceived(PlanLine("VIS01", "20/03/2026", "045")));

    auto pilot = loggedIn();
    struct {
        QByteArray line;
        QByteArray answer;
    } const cases[] = {
        // A ":" in the remarks shifts the route into an eighteenth field.
        {"$FPABC12:SERVER:I:C172SP:110:LIRU:20/03/2026:0930:045:LIRN:01:45:04:30:LIRQ: "
         "RWY:16:BOL",
         "#TMSERVER:ABC12:Plan de vol refuse: 18 champs au lieu de 17"},
        {"$FPABC12", "#TMSERVER:ABC12:Plan de vol refuse: 1 champs au lieu de 17"},
        {"$FP", "#TMSERVER::Plan de vol refuse: 1 champs au lieu de 17"},
        {"$FPABC12:ATC:I:C172SP:110:LIRU:20/03/2026:0930:045:LIRN:01:45:04:30:LIRQ: RVSM:BOL",
         "#TMSERVER:ABC12:Plan de vol refuse: champ 1 ATC au lieu de SERVER"},
    };
    qsizetype seen = 5;
    for (const auto& c : cases) {
        pilot->Send(c.line);
        EXPECT_EQ(pilot->LinesAfter(seen, 1), QList<QByteArray>{c.answer}) << c.line.toStdString();
        seen = pilot->received();
    }
    // Queries without their field 3 are logged, not answered.
    pilot->Send("$CQABC12:SERVER:DEPOTFPA");
    pilot->Send("$CQABC12:SERVER:DEPOTFPA:TOUS");
    server_->Command("plans");
    ASSERT_TRUE(WaitUntil([&] { return server_->Output().contains("end of plans (0)"); }));
    server_->Command("send --");
    EXPECT_EQ(pilot->LinesAfter(seen, 1), QList<QByteArray>{"--"});
    EXPECT_EQ(visitor.Lines(1), QList<QByteArray>{"--"});
    EXPECT_EQ(server_->Output().filter("malformed").size(), 5);
}

TEST_F(AtcServerProgramTest, AControllersAmendmentReachesThePilotOnly) {
    auto pilot = loggedIn("ABC12");
    auto other = loggedIn("XYZ99");
    pilot->Send(PlanLine("ABC12", "20/03/2026", "045"));
    ASSERT_EQ(pilot->LinesAfter(5, 1).size(), 1);

    server_->Command(R"(fpdepot ABC12 level=065 enroute=02:10 remarks=" RVSM amended")");
    EXPECT_EQ(pilot->LinesAfter(6, 1),
              (QList<QByteArray>{"$FPDEPOT:ABC12:I:C172SP:110:LIRU:20/03/2026:0930:065:LIRN:02:"
                                 "10:04:30:LIRQ: RVSM amended:BOL/PNZ"}));
    // Unchanged, it sends the plan as kept.
    server_->Command("fpdepot ABC12");
    EXPECT_EQ(pilot->LinesAfter(7, 1),
              (QList<QByteArray>{"$FPDEPOT:ABC12:I:C172SP:110:LIRU:20/03/2026:0930:065:LIRN:02:"
                                 "10:04:30:LIRQ: RVSM amended:BOL/PNZ"}));

    // Refused: each says why and changes nothing.
    for (const char* bad : {"fpdepot", "fpdepot NOONE level=100", "fpdepot ABC12 level",
                            "fpdepot ABC12 altitude=100", "fpdepot ABC12 fuel=0430",
                            "fpdepot ABC12 route=A:B", "fpdepot ABC12 level=100 wind=270"}) {
        server_->Command(bad);
    }
    server_->Command("send --");
    EXPECT_EQ(pilot->LinesAfter(8, 1), QList<QByteArray>{"--"});
    EXPECT_EQ(other->LinesAfter(5, 1), QList<QByteArray>{"--"});
    EXPECT_EQ(server_->Output().filter(QRegularExpression("^error: ")).size(), 7);
    server_->Command("plans");
    ASSERT_TRUE(WaitUntil([&] { return server_->Output().contains("end of plans (1)"); }));
    EXPECT_EQ(server_->Output().filter(QRegularExpression("^plan ")),
              QStringList{"plan ABC12 I:C172SP:110:LIRU:20/03/2026:0930:065:LIRN:02:10:04:30:"
                          "LIRQ: RVSM amended:BOL/PNZ"});
}

TEST(AtcServerStartTest, ABadStationsFileStopsTheServerAndNamesTheLine) {
    QTemporaryFile stations;
    ASSERT_TRUE(stations.open());
    stations.write("# ok\nLIRF_TWR|18.700|4|30|4|41.8|12.2|14|a|b\nLIRF_GND|21.9|3|10\n");
    stations.flush();
    AtcServerProcess server({"--stations", stations.fileName()});
    EXPECT_FALSE(server.started());
    EXPECT_TRUE(WaitUntil([&] {
        return server.Output().contains("error: " + stations.fileName() +
                                        ":3: 4 fields, a station needs at least 9 (callsign, "
                                        "frequency, facility, range, rating, latitude, "
                                        "longitude, altitude, then its ATIS lines and its "
                                        "spoken text)");
    })) << server.Output().join('\n').toStdString();
}

// The demo's stations must load, and each facility code must be one the demo's
// configuration names.
TEST(DemoStationsTest, LoadAndUseTheDemoFacilityCodes) {
    StationsFile file = ReadStationsFile(TAVORO_DEMO_STATIONS);
    EXPECT_TRUE(file.errors.isEmpty()) << file.errors.join('\n').toStdString();
    ASSERT_FALSE(file.stations.empty());

    QProcess config;
    config.start("bash", {TAVORO_DEMO_CONFIG, "/sim", "6809"});
    ASSERT_TRUE(config.waitForFinished(30000));
    const QString ini = QString::fromUtf8(config.readAllStandardOutput());
    const QString facility = ini.mid(ini.indexOf("[facility]"));
    ASSERT_FALSE(facility.isEmpty());
    for (const Station& station : file.stations) {
        const QRegularExpression key("^" + QRegularExpression::escape(station.facility) + "=",
                                     QRegularExpression::MultilineOption);
        EXPECT_TRUE(key.match(facility).hasMatch())
            << station.callsign.toStdString() << " uses facility "
            << station.facility.toStdString();
    }
}

}  // namespace
