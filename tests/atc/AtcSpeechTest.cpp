#include <gtest/gtest.h>

#include <stdexcept>

#include "StationPipeline.h"
#include "atc/AtcSpeech.h"
#include "atc/SpeechEngine.h"
#include "support/ManualTimers.h"

namespace tavoro {
namespace {

using test::StationPipeline;

// Records what it was asked to say; can be told to fail as a broken synthesizer would.
class FakeSpeechEngine : public SpeechEngine {
public:
    struct Said {
        QString text;
        double volume;
        double rate;
    };

    void Speak(const QString& text, double volume, double rate) override {
        if (fail) {
            throw std::runtime_error("no voice");
        }
        said.push_back({text, volume, rate});
    }

    bool fail = false;
    std::vector<Said> said;
};

// The received-line path with the speech of the selected station wired in, and the
// station LFPG_TWR selected.
class AtcSpeechTest : public ::testing::Test {
protected:
    AtcSpeechTest()
        : speech_(
              engine_, [this](const QString& text) { errors_ << text; }, timers_),
          timer6_(*timers_["Timer6"]) {
        EXPECT_EQ(timer6_.Interval(), 5000);
        speech_.SetTargets(pipe_.targets);
        pipe_.UpdateTargets();
        pipe_.Receive({"#AALFPG_TWR", "#AAEGLL_TWR"});
        pipe_.selection.SelectStation(0);
    }

    StationPipeline pipe_;
    test::ManualTimers timers_;
    FakeSpeechEngine engine_;
    QStringList errors_;
    AtcSpeech speech_;
    test::ManualTimers::ManualTimer& timer6_;
};

TEST_F(AtcSpeechTest, SpeaksTheSelectedStationsTextOnceAtTheTick) {
    pipe_.settings.atis_audio = true;
    pipe_.Receive(
        {"#TMAUDIOEGLL_TWR:ABC12:other station", "#TMAUDIOLFPG_TWR:ABC12:Information Bravo"});
    EXPECT_EQ(speech_.speech_text(), "Information Bravo");
    EXPECT_TRUE(timer6_.IsActive());
    // A spoken text is not also shown as a text line.
    EXPECT_EQ(pipe_.list.line_count(), 1u);

    ASSERT_TRUE(timer6_.Fire());
    ASSERT_EQ(engine_.said.size(), 1u);
    EXPECT_EQ(engine_.said[0].text, "Information Bravo");
    EXPECT_DOUBLE_EQ(engine_.said[0].volume, 0.8);
    EXPECT_DOUBLE_EQ(engine_.said[0].rate, 0.0);
    EXPECT_FALSE(timer6_.IsActive());
    // The text stays after it was spoken, but nothing speaks it again.
    EXPECT_EQ(speech_.speech_text(), "Information Bravo");
    EXPECT_TRUE(errors_.isEmpty());
}

TEST_F(AtcSpeechTest, WithAudioOffTextsAreIgnoredAndNotSpokenLater) {
    pipe_.Receive({"#TMAUDIOLFPG_TWR:ABC12:Information Alpha"});
    EXPECT_EQ(speech_.speech_text(), "");
    EXPECT_FALSE(timer6_.IsActive());

    pipe_.settings.atis_audio = true;
    speech_.SpeakHeldText();
    EXPECT_TRUE(engine_.said.empty());
}

TEST_F(AtcSpeechTest, ASecondTextWithinTheWaitReplacesTheFirstWithoutRestartingIt) {
    pipe_.settings.atis_audio = true;
    pipe_.Receive({"#TMAUDIOLFPG_TWR:ABC12:first"});
    ASSERT_TRUE(timer6_.IsActive());
    const int starts = timer6_.starts();

    pipe_.Receive({"#TMAUDIOLFPG_TWR:ABC12:second"});
    EXPECT_EQ(timer6_.starts(), starts);
    ASSERT_TRUE(timer6_.Fire());
    ASSERT_EQ(engine_.said.size(), 1u);
    EXPECT_EQ(engine_.said[0].text, "second");
}

TEST_F(AtcSpeechTest, AFailingEngineIsReportedNotThrown) {
    pipe_.settings.atis_audio = true;
    engine_.fail = true;
    pipe_.Receive({"#TMAUDIOLFPG_TWR:ABC12:Information Charlie"});
    EXPECT_NO_THROW(speech_.SpeakHeldText());
    EXPECT_EQ(errors_, QStringList{"synthèse vocale: no voice"});
    EXPECT_FALSE(timer6_.IsActive());
}

TEST(QtSpeechEngineTest, AnEngineThatCannotStartIsReportedNotThrown) {
    QStringList errors;
    QtSpeechEngine engine([&](const QString& text) { errors << text; },
                          QStringLiteral("no-such-engine"));
    EXPECT_NO_THROW(engine.Speak("Information Delta", 0.8, 0.0));
    ASSERT_FALSE(errors.isEmpty());
    EXPECT_TRUE(errors.first().startsWith("synthèse vocale: ")) << errors.first().toStdString();
    // Each text tries again, and fails the same way.
    EXPECT_NO_THROW(engine.Speak("Information Echo", 0.8, 0.0));
    EXPECT_EQ(errors.size(), 2);
}

}  // namespace
}  // namespace tavoro
