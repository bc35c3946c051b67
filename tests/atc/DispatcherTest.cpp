#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "atc/Dispatcher.h"
#include "atc/LoginState.h"
#include "core/Numbers.h"

namespace tavoro {
namespace {

std::string joined(const FieldList& fields) {
    std::string text;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        text += (i ? "|" : "") + fields[i];
    }
    return text;
}

// The login as the link keeps it: accepting logs in, refusing closes the connection.
// Every answer is also written into `answers`, in order.
struct FakeLoginState : LoginState {
    bool connected = false;
    bool in = false;
    std::vector<std::string> answers;

    bool socket_connected() const override { return connected; }
    bool logged_in() const override { return in; }
    void AcceptLogin() override {
        answers.push_back("accept");
        in = true;
    }
    void RefuseLogin(const std::string& reason) override {
        answers.push_back("refuse " + reason);
        connected = false;
        in = false;
    }
};

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
        t.metar = [this](const std::optional<std::string>& m) {
            calls_.push_back(m ? "metar " + *m : "metar without text");
        };
        t.failure = [this](const std::string& n) { calls_.push_back("failure " + n); };
        t.ai_status = [this](const QString& s) { calls_.push_back("status " + s.toStdString()); };
        t.ai_create = [this](const FieldList& f) { calls_.push_back("create " + joined(f)); };
        t.ai_remove = [this](const FieldList& f) { calls_.push_back("remove " + joined(f)); };
        t.ai_route = [this](const FieldList& f) { calls_.push_back("route " + joined(f)); };
        t.ai_start = [this](const FieldList& f) { calls_.push_back("start " + joined(f)); };
        dispatcher_.SetTargets(std::move(t));
    }

    void logIn() {
        login_.connected = true;
        login_.in = true;
    }

    std::vector<std::string> dispatch(const std::string& line) {
        calls_.clear();
        dispatcher_.DispatchLine(SplitText(line, ':'));
        return calls_;
    }

    Settings settings_;
    AircraftIdentity identity_;
    FakeLoginState login_;
    Dispatcher dispatcher_{login_, settings_, identity_};
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
        // An empty text is still a text; no field at all is none.
        {"METAR:", {"metar "}},
        {"METAR", {"metar without text"}},
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
    // The refusal and the welcome after login answered nothing: the connection stays.
    EXPECT_TRUE(login_.answers.empty());
    EXPECT_TRUE(login_.socket_connected());
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
    // Connected or not, every logged-in type is ignored until the server accepts.
    for (bool connected : {false, true}) {
        login_.connected = connected;
        for (const char* line :
             {"#AALFPG_TWR", "%LFPG_TWR:18.5:4:50:1:49.0:2.5:0", "#DALFPG_TWR",
              "#TMLFPG_TWR:ABC12:hi", "ZULU:12:30", "METAR:X", "$ADMIN:FAILURE:1",
              "$ControlAI:CREATE:x", "$DEPOTFP:x", "$ACUDEPOT:x"}) {
            EXPECT_TRUE(dispatch(line).empty()) << line << " connected " << connected;
        }
    }
    EXPECT_TRUE(login_.answers.empty());
    EXPECT_FALSE(login_.logged_in());
}

struct LoginLineCase {
    const char* line;
    bool connected;
    std::vector<std::string> answers;
};

TEST_F(DispatcherTest, TheServersAnswersToTheLogin) {
    const LoginLineCase cases[] = {
        {"#TMserver:ABC12:Bienvenue", true, {"accept"}},
        // A welcome still queued from a connection that has closed logs nobody in.
        {"#TMserver:ABC12:Bienvenue", false, {}},
        // A refusal is shown whatever the connection, its fields joined without separator.
        {"$ERserver:ABC12:2::Invalid callsign", true, {"refuse ABC122Invalid callsign"}},
        {"$ERserver:ABC12:2::Invalid callsign", false, {"refuse ABC122Invalid callsign"}},
        {"$ERserver", true, {"refuse "}},
        // The type is matched whole.
        {"#TMserverX:ABC12:hi", true, {}},
        {"#TMserve:ABC12:hi", true, {}},
        {"$ERserverX:not a refusal", true, {}},
        {"#TMSERVER:ABC12:hi", true, {}},
    };
    for (const LoginLineCase& c : cases) {
        login_ = FakeLoginState{};
        login_.connected = c.connected;
        EXPECT_TRUE(dispatch(c.line).empty()) << c.line;
        EXPECT_EQ(login_.answers, c.answers) << c.line << " connected " << c.connected;
    }
}

// The login is read afresh for every line: what one line settles holds for the next.
TEST_F(DispatcherTest, LinesAfterALoginAnswerSeeItsOutcome) {
    login_.connected = true;
    dispatch("#TMserver:ABC12:Bienvenue");
    EXPECT_EQ(dispatch("ZULU:12:30"), std::vector<std::string>{"zulu 12 30"});

    // A refusal closes the connection: a welcome after it in the same block logs nobody in.
    login_ = FakeLoginState{};
    login_.connected = true;
    dispatch("$ERserver:ABC12:Invalid password");
    dispatch("#TMserver:ABC12:Bienvenue");
    EXPECT_EQ(login_.answers, std::vector<std::string>{"refuse ABC12Invalid password"});
    EXPECT_TRUE(dispatch("ZULU:12:30").empty());
}

// Every target left empty: a subsystem that is not wired hears nothing and nothing fails.
TEST(DispatcherWithoutTargetsTest, LinesWithNoTargetAreDropped) {
    Settings settings;
    AircraftIdentity identity;
    FakeLoginState login;
    login.connected = true;
    login.in = true;
    Dispatcher dispatcher(login, settings, identity);
    for (const char* line : {"#AALFPG_TWR", "#TMLFPG_TWR:x:y", "#TMAUDIOLFPG_TWR:x:y",
                             "$ControlAI:CREATE:x", "ZULU:1:2", "$DEPOTFP"}) {
        EXPECT_NO_THROW(dispatcher.DispatchLine(SplitText(line, ':'))) << line;
    }
    EXPECT_TRUE(login.logged_in());
    EXPECT_TRUE(login.answers.empty());
}

}  // namespace
}  // namespace tavoro
