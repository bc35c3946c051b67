#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "atc/Dispatcher.h"
#include "atc/ServerLink.h"
#include "core/Numbers.h"
#include "support/AtcServerProcess.h"
#include "support/EventLoop.h"

namespace tavoro {
namespace {

using test::AtcServerProcess;
using test::WaitUntil;

std::string joined(const FieldList& fields) {
    std::string text;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        text += (i ? "|" : "") + fields[i];
    }
    return text;
}

// A dispatcher whose every target writes what it received into `calls`, in order.
class DispatcherTest : public ::testing::Test {
protected:
    DispatcherTest() {
        identity_.atc_identifier = "ABC12";
        DispatchTargets t;
        t.station_added = [this](const std::string& cs) { calls_.push_back("added " + cs); };
        t.station_position = [this](const std::string& cs, const FieldList& f) {
            calls_.push_back("position " + cs + " " + joined(f));
        };
        t.station_removed = [this](const std::string& cs) { calls_.push_back("removed " + cs); };
        t.is_selected_station = [this](std::string_view cs) {
            return selected_.count(std::string(cs)) > 0;
        };
        t.selected_station_text = [this](const std::string& s) { calls_.push_back("text " + s); };
        t.selected_station_speech = [this](const std::string& s) {
            calls_.push_back("speech " + s);
        };
        t.filing_acknowledged = [this](const FieldList& f) {
            calls_.push_back("ack " + joined(f));
        };
        t.own_filed_plan = [this](const FieldList& f) { calls_.push_back("own " + joined(f)); };
        t.filed_plan_listed = [this](const FieldList& f) {
            calls_.push_back("listed " + joined(f));
        };
        t.zulu = [this](const std::string& h, const std::string& m) {
            calls_.push_back("zulu " + h + " " + m);
        };
        t.metar = [this](const std::string& m) { calls_.push_back("metar " + m); };
        t.failure = [this](const std::string& n) { calls_.push_back("failure " + n); };
        t.ai_status = [this](const QString& s) { calls_.push_back("status " + s.toStdString()); };
        t.ai_create = [this](const FieldList& f) { calls_.push_back("create " + joined(f)); };
        t.ai_remove = [this](const FieldList& f) { calls_.push_back("remove " + joined(f)); };
        t.ai_route = [this](const FieldList& f) { calls_.push_back("route " + joined(f)); };
        t.ai_start = [this](const FieldList& f) { calls_.push_back("start " + joined(f)); };
        dispatcher_.SetTargets(std::move(t));
    }

    // Logs in at a running stand-in server: the logged-in tests need a real login.
    void logIn() {
        ASSERT_TRUE(server_.started());
        settings_.server_address = "127.0.0.1";
        settings_.server_port = std::to_string(server_.port());
        link_.SetDispatcher([this](const FieldList& f) { dispatcher_.DispatchLine(f); });
        link_.ConnectToServer();
        ASSERT_TRUE(WaitUntil([&] { return link_.logged_in(); }));
    }

    std::vector<std::string> dispatch(const std::string& line) {
        calls_.clear();
        dispatcher_.DispatchLine(SplitText(line, ':'));
        return calls_;
    }

    Settings settings_;
    AircraftIdentity identity_;
    AircraftState state_;
    ServerLink link_{settings_, identity_, state_,
                     [](const QHostAddress&, QObject*, auto done) { done(QString()); }};
    Dispatcher dispatcher_{link_, settings_, identity_};
    AtcServerProcess server_;
    std::vector<std::string> calls_;
    // The callsigns the fake station table answers as selected.
    std::set<std::string> selected_ = {"LFPG_TWR"};
};

struct LineCase {
    const char* line;
    std::vector<std::string> calls;
};

TEST_F(DispatcherTest, LoggedInLinesReachTheirTargetsInOrder) {
    settings_.atis_audio = true;
    logIn();
    const LineCase cases[] = {
        {"#AALFPG_TWR", {"added LFPG_TWR"}},
        {"#AA", {"added "}},
        {"%LFPG_TWR:18.5:4:50:1:49.0:2.5:0",
         {"position LFPG_TWR %LFPG_TWR|18.5|4|50|1|49.0|2.5|0"}},
        {"#DALFPG_TWR", {"removed LFPG_TWR"}},
        {"#TMLFPG_TWR:ABC12:Information Alpha", {"text Information Alpha"}},
        {"#TMLFPG_APP:ABC12:not ours", {}},
        // The spoken text is not shown as text: after "#TM" its field 0 reads "AUDIO...".
        {"#TMAUDIOLFPG_TWR:ABC12:wind calm", {"speech wind calm"}},
        {"#TMAUDIOLFPG_APP:ABC12:not ours", {}},
        {"$ACUDEPOT:SERVER:plan recu", {"ack $ACUDEPOT|SERVER|plan recu"}},
        {"$FPDEPOT:ABC12:I", {"own $FPDEPOT|ABC12|I"}},
        {"$FPDEPOT:XYZ99:I", {}},
        {"ZULU:12:30", {"zulu 12 30"}},
        {"ZULUX:12:30", {}},
        {"METAR:LFPG 091030Z 27010KT", {"metar LFPG 091030Z 27010KT"}},
        {"$ADMIN:FAILURE:4", {"failure 4"}},
        {"$ADMIN:RESET:4", {}},
        {"$ControlAI:CREATE:bus1:Bus:48.7",
         {"status $ControlAICREATEbus1", "create $ControlAI|CREATE|bus1|Bus|48.7"}},
        {"$ControlAI:REMOVE:bus1",
         {"status $ControlAIREMOVEbus1", "remove $ControlAI|REMOVE|bus1"}},
        {"$ControlAI:ROUTE:bus1:48.7",
         {"status $ControlAIROUTEbus1", "route $ControlAI|ROUTE|bus1|48.7"}},
        {"$ControlAI:START:bus1:3600",
         {"status $ControlAISTARTbus1", "start $ControlAI|START|bus1|3600"}},
        // A sub-command that is none of the four still shows in the status bar.
        {"$ControlAI:CREATEX:bus1", {"status $ControlAICREATEXbus1"}},
        {"$ControlAI", {"status $ControlAI"}},
        {"$DEPOTFP:x:ABC12", {"listed $DEPOTFP|x|ABC12"}},
        {"$DEPOTFPA:x", {"listed $DEPOTFPA|x"}},
        // Lines of the logged-out state, and unknown ones, are ignored once logged in.
        {"$ERserver:ABC12:Invalid", {}},
        {"#TMserver:ABC12:hello", {}},
        {"zulu:12:30", {}},
        {"", {}},
    };
    for (const LineCase& c : cases) {
        EXPECT_EQ(dispatch(c.line), c.calls) << c.line;
    }
    EXPECT_TRUE(link_.socket_connected());  // the refusal line closed nothing
}

TEST_F(DispatcherTest, ALineThatPassesTwoTestsIsHandledByBoth) {
    // A table that answers both "AUDIOX" and "X" as selected: a spoken-text line from
    // "X" then passes the text test as well, and both handle it, the text first. The
    // dispatcher does not stop at the first test a line passes.
    settings_.atis_audio = true;
    selected_ = {"AUDIOX", "X"};
    logIn();
    EXPECT_EQ(dispatch("#TMAUDIOX:ABC12:hello"),
              (std::vector<std::string>{"text hello", "speech hello"}));
    // With one selected station, as the real table has, only one of them does.
    selected_ = {"AUDIOX"};
    EXPECT_EQ(dispatch("#TMAUDIOX:ABC12:hello"), std::vector<std::string>{"text hello"});
    selected_ = {"X"};
    EXPECT_EQ(dispatch("#TMAUDIOX:ABC12:hello"), std::vector<std::string>{"speech hello"});
}

TEST_F(DispatcherTest, SpokenTextsNeedTheAudioSetting) {
    settings_.atis_audio = false;
    logIn();
    EXPECT_TRUE(dispatch("#TMAUDIOLFPG_TWR:ABC12:wind calm").empty());
    settings_.atis_audio = true;
    EXPECT_EQ(dispatch("#TMAUDIOLFPG_TWR:ABC12:wind calm"),
              std::vector<std::string>{"speech wind calm"});
}

TEST_F(DispatcherTest, AConversionErrorEndsTheLineWithEarlierEffectsKept) {
    logIn();
    DispatchTargets t;
    t.ai_status = [this](const QString& s) { calls_.push_back("status " + s.toStdString()); };
    t.ai_create = [](const FieldList& f) { ParseWholeNumber(Field(f, 10)); };
    t.ai_remove = [this](const FieldList&) { calls_.push_back("remove"); };
    dispatcher_.SetTargets(std::move(t));
    calls_.clear();
    EXPECT_THROW(dispatcher_.DispatchLine(SplitText("$ControlAI:CREATE:bus1:Bus", ':')),
                 ConversionError);
    EXPECT_EQ(calls_, std::vector<std::string>{"status $ControlAICREATEbus1"});
}

TEST_F(DispatcherTest, BeforeLoginOnlyTheLoginAnswersCount) {
    // Not connected: a refusal is still shown; every logged-in type is ignored.
    for (const char* line : {"#AALFPG_TWR", "%LFPG_TWR:18.5:4:50:1:49.0:2.5:0", "#DALFPG_TWR",
                             "#TMLFPG_TWR:ABC12:hi", "ZULU:12:30", "METAR:X", "$ADMIN:FAILURE:1",
                             "$ControlAI:CREATE:x", "$DEPOTFP:x", "$ACUDEPOT:x"}) {
        EXPECT_TRUE(dispatch(line).empty()) << line;
    }
    EXPECT_FALSE(link_.logged_in());
}

// Every target left empty: a subsystem that is not wired hears nothing and nothing fails.
TEST(DispatcherWithoutTargetsTest, LinesWithNoTargetAreDropped) {
    Settings settings;
    AircraftIdentity identity;
    AircraftState state;
    AtcServerProcess server;
    ASSERT_TRUE(server.started());
    settings.server_address = "127.0.0.1";
    settings.server_port = std::to_string(server.port());
    ServerLink link(settings, identity, state,
                    [](const QHostAddress&, QObject*, auto done) { done(QString()); });
    Dispatcher dispatcher(link, settings, identity);
    link.SetDispatcher([&](const FieldList& f) { dispatcher.DispatchLine(f); });
    link.ConnectToServer();
    ASSERT_TRUE(WaitUntil([&] { return link.logged_in(); }));
    for (const char* line : {"#AALFPG_TWR", "#TMLFPG_TWR:x:y", "#TMAUDIOLFPG_TWR:x:y",
                             "$ControlAI:CREATE:x", "ZULU:1:2", "$DEPOTFP"}) {
        EXPECT_NO_THROW(dispatcher.DispatchLine(SplitText(line, ':'))) << line;
    }
    EXPECT_TRUE(link.logged_in());
}

}  // namespace
}  // namespace tavoro
