#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "core/Settings.h"
#include "support/EventLoop.h"
#include "support/Seed.h"
#include "support/TempConfig.h"

namespace tavoro {
namespace {

class SettingsTest : public ::testing::Test {
protected:
    std::filesystem::path file() const { return config_.path(); }
    void write(const std::string& content) { config_.Write(content); }
    std::string content() const { return config_.Read(); }

    test::TempConfig config_;
    Settings settings_;
    CodeTables tables_;
};

TEST_F(SettingsTest, LoadsEveryValue) {
    write(
        "[FSX]\nDIR=/opt/fsx/\n[ATIS]\naudio=true\n"
        "[TS]\nDIR=/ts/\nadresse=ts.example\npassword=tspw\nnickname=Pilot\n"
        "[connect]\nserveur=Tavoro\nadresse=127.0.0.1\nport=6809\npassword=secret\n"
        "[FSX_plan]\npath=/plans/\n[envoi]\navion=5000\n");
    IniFile ini(file());
    LoadResult result = LoadSettings(ini, settings_, tables_);
    ASSERT_FALSE(result.conversion_error);
    EXPECT_EQ(settings_.sim_dir, "/opt/fsx/");
    EXPECT_TRUE(settings_.atis_audio);
    EXPECT_EQ(settings_.ts_dir, "/ts/");
    EXPECT_EQ(settings_.ts_address, "ts.example");
    EXPECT_EQ(settings_.ts_password, "tspw");
    EXPECT_EQ(settings_.ts_nickname, "Pilot");
    EXPECT_EQ(settings_.server_name, "Tavoro");
    EXPECT_EQ(settings_.server_address, "127.0.0.1");
    EXPECT_EQ(settings_.server_port, "6809");
    EXPECT_EQ(settings_.server_password, "secret");
    EXPECT_EQ(settings_.plan_folder, "/plans/");
    EXPECT_EQ(settings_.report_interval_ms, 5000);
}

TEST_F(SettingsTest, MissingFileGivesDefaultsAndStopsAtTheInterval) {
    IniFile ini(file());
    LoadResult result = LoadSettings(ini, settings_, tables_);
    ASSERT_TRUE(result.conversion_error);
    EXPECT_NE(result.conversion_error->find("'error'"), std::string::npos);
    EXPECT_EQ(settings_.sim_dir, "ERROR");
    EXPECT_FALSE(settings_.atis_audio);
    EXPECT_EQ(settings_.server_name, "error");
    EXPECT_EQ(settings_.server_port, "error");
    EXPECT_EQ(settings_.plan_folder, "error");
    for (const CodeTable& table : tables_) {
        EXPECT_TRUE(table.keys.empty());
    }
}

struct IntervalCase {
    const char* name;
    const char* line;  // the [envoi] section's content
    bool converts;
    int interval_ms;
};

class ReportIntervalTest : public SettingsTest,
                           public ::testing::WithParamInterface<IntervalCase> {};

TEST_P(ReportIntervalTest, ConvertsOrStopsBeforeTheTables) {
    write(std::string("[envoi]\n") + GetParam().line + "\n[turbulence]\nlight=Légère\n");
    IniFile ini(file());
    LoadResult result = LoadSettings(ini, settings_, tables_);
    EXPECT_EQ(!result.conversion_error, GetParam().converts);
    if (GetParam().converts) {
        EXPECT_EQ(settings_.report_interval_ms, GetParam().interval_ms);
        EXPECT_EQ(tables_[0].keys, std::vector<std::string>{"light"});
    } else {
        EXPECT_TRUE(tables_[0].keys.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Values, ReportIntervalTest,
                         ::testing::Values(IntervalCase{"five_seconds", "avion=5000", true, 5000},
                                           IntervalCase{"zero", "avion=0", true, 0},
                                           IntervalCase{"empty", "avion=", false, 0},
                                           IntervalCase{"absent", "other=1", false, 0},
                                           IntervalCase{"not_a_number", "avion=5s", false, 0},
                                           IntervalCase{"decimal", "avion=2.5", false, 0},
                                           IntervalCase{"too_large", "avion=99999999999", false,
                                                        0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsTest, AtisAudioCountsLetterCase) {
    write("[ATIS]\naudio=True\n[envoi]\navion=1000\n");
    IniFile ini(file());
    LoadSettings(ini, settings_, tables_);
    EXPECT_FALSE(settings_.atis_audio);
    ASSERT_TRUE(SaveSettings(ini, settings_));
    EXPECT_EQ(ini.ReadString("ATIS", "audio", ""), "false");
}

TEST_F(SettingsTest, CodeTablesInFileOrderAndLookupIgnoresCase) {
    write(
        "[envoi]\navion=1000\n"
        "[cloud typ]\nb=Bravo\na=Alpha\nB=ignored duplicate\nempty=\n"
        "[icing rate]\n"
        "[turbulence]\nLGT=light\n");
    IniFile ini(file());
    ASSERT_FALSE(LoadSettings(ini, settings_, tables_).conversion_error);
    for (std::size_t i = 0; i < kCodeTableSections.size(); ++i) {
        EXPECT_EQ(tables_[i].section, kCodeTableSections[i]);
    }
    const CodeTable& clouds = tables_[4];
    EXPECT_EQ(clouds.keys, (std::vector<std::string>{"b", "a", "empty"}));
    EXPECT_EQ(clouds.texts, (std::vector<std::string>{"Bravo", "Alpha", ""}));
    EXPECT_EQ(clouds.Lookup("B"), "Bravo");
    EXPECT_EQ(clouds.Lookup("empty"), "");
    EXPECT_EQ(clouds.Lookup("c"), std::nullopt);
    EXPECT_TRUE(tables_[8].keys.empty());
    EXPECT_EQ(tables_[0].Lookup("lgt"), "light");
}

TEST_F(SettingsTest, SaveWithNoFileWritesDefaultsInOrder) {
    IniFile ini(file());
    LoadSettings(ini, settings_, tables_);
    ASSERT_TRUE(SaveSettings(ini, settings_));
    EXPECT_EQ(content(),
              "[ATIS]\naudio=false\n"
              "[TS]\nDIR=error\nadresse=error\npassword=error\nnickname=error\n"
              "[connect]\nserveur=error\nadresse=error\n");
}

TEST_F(SettingsTest, SaveKeepsPortPasswordIntervalAndOtherLines) {
    const std::string before =
        "; my settings\n[connect]\nserveur=Tavoro\nadresse=old.example\nport=6809\n"
        "password=pw\n[envoi]\navion=5000\n[facility]\n1=FSS\n";
    write(before);
    IniFile ini(file());
    ASSERT_FALSE(LoadSettings(ini, settings_, tables_).conversion_error);
    settings_.server_address = "new.example";
    settings_.server_port = "7000";
    settings_.server_password = "changed";
    settings_.report_interval_ms = 1;
    settings_.atis_audio = true;
    ASSERT_TRUE(SaveSettings(ini, settings_));
    EXPECT_EQ(content(),
              "; my settings\n[connect]\nserveur=Tavoro\nadresse=new.example\nport=6809\n"
              "password=pw\n[envoi]\navion=5000\n[facility]\n1=FSS\n"
              "[ATIS]\naudio=true\n"
              "[TS]\nDIR=error\nadresse=error\npassword=error\nnickname=error\n");
}

// Kills a process that runs the close step's save in a loop, at random moments: the file
// must always hold the seven keys of one save, all old or all new, never some of each.
TEST_F(SettingsTest, SaveKilledMidwayLeavesAllOldOrAllNewValues) {
    // A long facility table makes a file of 2.5 MB, which takes a while to rewrite.
    std::string before = "; facilities\n[facility]\n";
    std::string last_facility;
    for (int code = 0; before.size() < 2'500'000; ++code) {
        last_facility = std::to_string(code);
        before += last_facility + "=Facility " + last_facility + "\n";
    }
    write(before);

    struct Key {
        const char* section;
        const char* key;
        const char* stem;
    };
    const Key texts[] = {{"TS", "DIR", "ts-dir"},
                         {"TS", "adresse", "ts-address"},
                         {"TS", "password", "ts-password"},
                         {"TS", "nickname", "ts-nickname"},
                         {"connect", "serveur", "server-name"},
                         {"connect", "adresse", "server-address"}};
    std::mt19937 random(test::TestSeed());
    std::uniform_int_distribution<int> delay_ms(5, 199);
    for (int round = 0; round < 15 && !HasFailure(); ++round) {
        QProcess saver;
        saver.start(TAVORO_SETTINGS_SAVE_LOOP, {QString::fromStdString(file().string())});
        ASSERT_TRUE(saver.waitForStarted(30000));
        ASSERT_TRUE(test::WaitUntil(
            [&] { return saver.canReadLine() || saver.state() != QProcess::Running; }));
        ASSERT_EQ(saver.readLine().trimmed(), "ready");
        test::RunEventsFor(std::chrono::milliseconds(delay_ms(random)));
        saver.kill();
        saver.waitForFinished(30000);

        IniFile ini(file());
        ASSERT_EQ(ini.ReadString("facility", last_facility, ""), "Facility " + last_facility)
            << "round " << round << ": the file lost its end";
        // The loop saves new values with audio on and old ones with it off.
        const std::string audio = ini.ReadString("ATIS", "audio", "absent");
        ASSERT_TRUE(audio == "true" || audio == "false") << "round " << round << ": " << audio;
        const std::string suffix = audio == "true" ? "-new" : "-old";
        for (const Key& text : texts) {
            EXPECT_EQ(ini.ReadString(text.section, text.key, ""), text.stem + suffix)
                << "round " << round << ": [" << text.section << "] " << text.key
                << " is not of the save [ATIS] audio=" << audio << " belongs to";
        }
    }
}

TEST_F(SettingsTest, ImmediateFolderWrites) {
    write("[FSX]\nDIR=ERROR\n");
    IniFile ini(file());
    ASSERT_TRUE(SaveSimulatorFolder(ini, "/games/P3D/"));
    ASSERT_TRUE(SavePlanFolder(ini, "/plans/"));
    EXPECT_EQ(content(), "[FSX]\nDIR=/games/P3D/\n[FSX_plan]\npath=/plans/\n");
}

TEST_F(SettingsTest, FacilityIsReadAtEachLookup) {
    IniFile ini(file());
    EXPECT_EQ(LookupFacility(ini, "4"), "error");
    write("[Facility]\n4=Ground\n");
    EXPECT_EQ(LookupFacility(ini, "4"), "Ground");
    write("[facility]\n4=Tower\n");
    EXPECT_EQ(LookupFacility(ini, "4"), "Tower");
}

}  // namespace
}  // namespace tavoro
