#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/IniFile.h"
#include "flightplan/PlanCharge.h"
#include "flightplan/PlanFixtures.h"

namespace tavoro {
namespace {

using test::EarlierPlan;
using test::PlanFolder;
using test::RealPlan;

constexpr char kIfrPlan[] = "fsx_IFR_Los_Angeles_Intl_to_San_Francisco_Intl.PLN";
constexpr char kVfrPlan[] = "fsx_VFR_Gillespie_to_Van_Nuys.PLN";
constexpr char kBinary[] = "fs9_BINARY_nav3Sven_afr_first.pln";

// The load button with a simulator, a configuration and a user of the test's own. Every
// question and status text is recorded in the order it came.
class PlanChargeTest : public ::testing::Test {
protected:
    void SetUp() override {
        plan_ = EarlierPlan();
        config_path_ = folder_.Path("corvanta.ini");
        test::WriteBytes(config_path_, "; the pilot's settings\n[FSX_plan]\npath=" +
                                           folder_.Path("plans") + "/\n");
        // Dated long ago, so that any write shows in its stamp.
        std::filesystem::last_write_time(
            config_path_, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
        config_ = std::make_unique<IniFile>(config_path_);
        plan_folder_ = folder_.Path("plans") + "/";
        sources_.config = config_.get();
        sources_.plan_folder = &plan_folder_;
        sources_.working_folder = "/working/";
        sources_.choose_file = [this](const FileDialogRequest& request) {
            events_.push_back("dialog " + request.title + " in " + request.folder + " for " +
                              request.filter);
            std::optional<std::string> answer = answers_.front();
            answers_.pop_front();
            return answer;
        };
        sources_.read_simulator = [this](std::uint32_t offset, std::uint32_t size) {
            events_.push_back("read " + std::to_string(offset) + " " + std::to_string(size));
            return simulator_;
        };
        sources_.show_status = [this](const std::string& text) {
            events_.push_back("status " + text);
        };
    }

    // The simulator reports `path` in its 256-byte block, followed by stale bytes.
    void simulatorReports(const std::string& path) {
        simulator_.outcome = SimulatorRead::Outcome::Read;
        simulator_.bytes = path;
        simulator_.bytes.resize(256, 'x');
        if (path.size() < 256) {
            simulator_.bytes[path.size()] = '\0';
        }
    }

    std::string dialogEvent(const std::string& title, const std::string& folder) const {
        return "dialog " + title + " in " + folder + " for " + std::string(kPlanFileFilter);
    }

    std::filesystem::file_time_type configStamp() const {
        return std::filesystem::last_write_time(config_path_);
    }

    PlanFolder folder_;
    std::string config_path_;
    std::unique_ptr<IniFile> config_;
    std::string plan_folder_;
    PlanLoadSources sources_;
    SimulatorRead simulator_;
    std::deque<std::optional<std::string>> answers_;
    std::vector<std::string> events_;
    FlightPlan plan_;
};

const std::string kReadEvent = "read " + std::to_string(0x0130) + " 256";

TEST_F(PlanChargeTest, SimulatorPlanLoadsAsTheActivePlan) {
    simulatorReports(RealPlan(kIfrPlan));
    plan_.active = false;
    const ChargeResult result = ChargePlan(plan_, sources_);
    ASSERT_TRUE(result.load);
    EXPECT_TRUE(result.load->loaded()) << result.load->message;
    EXPECT_FALSE(result.error());
    EXPECT_TRUE(result.state_changed);
    EXPECT_EQ(events_, std::vector<std::string>{kReadEvent});
    EXPECT_EQ(plan_.plan_path, RealPlan(kIfrPlan));
    EXPECT_EQ(plan_.title, "KLAX to KSFO");
    EXPECT_TRUE(plan_.active);
    EXPECT_FALSE(plan_.filed);
}

TEST_F(PlanChargeTest, PathWithoutZeroTakesAllItsBytes) {
    // A file whose full path is exactly the block's 256 bytes.
    const std::string folder = folder_.Path("long") + "/";
    const std::string path = folder + std::string(256 - folder.size() - 4, 'p') + ".pln";
    ASSERT_EQ(path.size(), 256u);
    test::WriteBytes(path, test::ReadBytes(RealPlan(kVfrPlan)));
    simulatorReports(path);
    ChargePlan(plan_, sources_);
    EXPECT_EQ(plan_.plan_path, path);
    EXPECT_EQ(plan_.title, "KSEE to KVNY");
    EXPECT_TRUE(plan_.active);
}

TEST_F(PlanChargeTest, SimulatorPlanMissingHereIsLookedForInTheRememberedFolder) {
    test::WriteBytes(folder_.Path("plans/KLAX.PLN"), test::ReadBytes(RealPlan(kIfrPlan)));
    simulatorReports("C:\\Users\\pilot\\Documents\\Flight Simulator X Files\\KLAX.PLN");
    const ChargeResult result = ChargePlan(plan_, sources_);
    EXPECT_TRUE(result.load && result.load->loaded());
    EXPECT_EQ(plan_.title, "KLAX to KSFO");
    // The path stays what the simulator said.
    EXPECT_EQ(plan_.plan_path, "C:\\Users\\pilot\\Documents\\Flight Simulator X Files\\KLAX.PLN");
    EXPECT_TRUE(plan_.active);
}

TEST_F(PlanChargeTest, SimulatorPlanFoundNowhereAsksWhereThePlansAre) {
    test::WriteBytes(folder_.Path("elsewhere/KLAX.PLN"), test::ReadBytes(RealPlan(kIfrPlan)));
    simulatorReports("C:\\FS\\KLAX.PLN");
    answers_ = {folder_.Path("elsewhere/any.pln")};
    const ChargeResult result = ChargePlan(plan_, sources_);
    EXPECT_TRUE(result.load && result.load->loaded());
    EXPECT_EQ(events_, (std::vector<std::string>{kReadEvent,
                                                 dialogEvent("path to flightplan", plan_folder_)}));
    EXPECT_EQ(plan_.title, "KLAX to KSFO");
    // Written to the file; the folder the load button remembers is not changed.
    EXPECT_EQ(IniFile(config_path_).ReadString("FSX_plan", "path", ""),
              folder_.Path("elsewhere") + "/");
    EXPECT_EQ(plan_folder_, folder_.Path("plans") + "/");
}

struct ReadFailureCase {
    const char* name;
    SimulatorRead::Outcome outcome;
    const char* status;
};

void PrintTo(const ReadFailureCase& c, std::ostream* out) {
    *out << c.name;
}

class PlanChargeReadFailureTest : public PlanChargeTest,
                                  public ::testing::WithParamInterface<ReadFailureCase> {};

// Either failure leaves no path, so the dialog is offered: a path kept from before may be a
// file the user picked, which must not come back as the simulator's active plan.
TEST_P(PlanChargeReadFailureTest, StatusTextThenTheDialog) {
    simulator_.outcome = GetParam().outcome;
    simulator_.error_text = "Link not open";
    plan_.plan_path = RealPlan(kVfrPlan);
    plan_.active = true;
    answers_ = {RealPlan(kIfrPlan)};
    const std::string dialog = dialogEvent("Plan FSX", plan_folder_);
    const ChargeResult result = ChargePlan(plan_, sources_);
    EXPECT_EQ(events_, (std::vector<std::string>{
                           kReadEvent, std::string("status ") + GetParam().status, dialog}));
    EXPECT_TRUE(result.load && result.load->loaded());
    EXPECT_EQ(plan_.title, "KLAX to KSFO");
    EXPECT_EQ(plan_.plan_path, RealPlan(kIfrPlan));
    EXPECT_FALSE(plan_.active);
    EXPECT_FALSE(plan_.filed);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, PlanChargeReadFailureTest,
    ::testing::Values(ReadFailureCase{"not_queued", SimulatorRead::Outcome::NotQueued,
                                      "Reading: Link not open"},
                      ReadFailureCase{"process_failed", SimulatorRead::Outcome::ProcessFailed,
                                      "Processing: Link not open"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlanChargeTest, PlanInANewFolderRemembersItAtOnce) {
    simulatorReports("");
    answers_ = {RealPlan(kIfrPlan)};
    const ChargeResult result = ChargePlan(plan_, sources_);
    EXPECT_FALSE(result.config_unwritable);
    const std::string data_folder = std::string(TAVORO_PLN_DATA) + "/";
    EXPECT_EQ(plan_folder_, data_folder);
    EXPECT_EQ(IniFile(config_path_).ReadString("FSX_plan", "path", ""), data_folder);
    // The pilot's comment stays.
    EXPECT_EQ(test::ReadBytes(config_path_).rfind("; the pilot's settings\n", 0), 0u);
}

TEST_F(PlanChargeTest, PlanInTheRememberedFolderWritesNothing) {
    test::WriteBytes(folder_.Path("plans/KLAX.PLN"), test::ReadBytes(RealPlan(kIfrPlan)));
    const std::string before = test::ReadBytes(config_path_);
    const auto stamp = configStamp();
    simulatorReports("");
    answers_ = {folder_.Path("plans/KLAX.PLN")};
    ChargePlan(plan_, sources_);
    EXPECT_EQ(plan_.title, "KLAX to KSFO");
    EXPECT_EQ(configStamp(), stamp);
    EXPECT_EQ(test::ReadBytes(config_path_), before);
}

TEST_F(PlanChargeTest, DialogStartsInTheWorkingFolderWhenNoneIsRemembered) {
    simulatorReports("");
    plan_folder_.clear();
    answers_ = {std::nullopt};
    ChargePlan(plan_, sources_);
    EXPECT_EQ(events_,
              (std::vector<std::string>{kReadEvent, dialogEvent("Plan FSX", "/working/")}));
}

TEST_F(PlanChargeTest, CancelledDialogUnlocksAndKeepsTheRest) {
    for (bool active : {true, false}) {
        SCOPED_TRACE(active);
        simulatorReports("");
        plan_ = EarlierPlan();
        plan_.plan_path.clear();
        plan_.active = active;
        answers_ = {std::nullopt};
        const ChargeResult result = ChargePlan(plan_, sources_);
        EXPECT_FALSE(result.load);
        EXPECT_FALSE(result.error());
        EXPECT_TRUE(result.state_changed);
        FlightPlan expected = EarlierPlan();
        expected.plan_path.clear();
        expected.active = active;
        expected.filed = false;
        EXPECT_EQ(plan_, expected);
    }
}

struct FailedLoadCase {
    const char* name;
    bool from_simulator;
    std::string file;  // relative to the test's folder
    std::string bytes;
    PlanLoadStatus status;
};

void PrintTo(const FailedLoadCase& c, std::ostream* out) {
    *out << c.name;
}

class PlanChargeFailedLoadTest : public PlanChargeTest,
                                 public ::testing::WithParamInterface<FailedLoadCase> {};

// A load that fails shows its message and leaves the flags, so a filed plan stays filed.
TEST_P(PlanChargeFailedLoadTest, FlagsStayAsTheyWere) {
    const FailedLoadCase& c = GetParam();
    const std::string path = folder_.Path(c.file);
    if (!c.bytes.empty()) {
        test::WriteBytes(path, c.bytes);
    }
    plan_.active = false;
    if (c.from_simulator) {
        simulatorReports(path);
        answers_ = {std::nullopt};  // the fallback dialog, for a missing file
    } else {
        simulatorReports("");
        answers_ = {path};
    }
    const ChargeResult result = ChargePlan(plan_, sources_);
    ASSERT_TRUE(result.load);
    EXPECT_EQ(result.load->status, c.status);
    ASSERT_TRUE(result.error());
    EXPECT_EQ(*result.error(), result.load->message);
    EXPECT_FALSE(result.state_changed);
    EXPECT_TRUE(plan_.filed);
    EXPECT_FALSE(plan_.active);
    // The path the simulator reported, none for a file picked in the dialog: a file that
    // did not load does not become the plan's path.
    EXPECT_EQ(plan_.plan_path, c.from_simulator ? path : "");
}

INSTANTIATE_TEST_SUITE_P(
    Files, PlanChargeFailedLoadTest,
    ::testing::Values(
        FailedLoadCase{"binary_from_simulator", true, "nav3.pln",
                       test::ReadBytes(RealPlan(kBinary)), PlanLoadStatus::NotConforming},
        FailedLoadCase{"binary_from_dialog", false, "nav3.pln", test::ReadBytes(RealPlan(kBinary)),
                       PlanLoadStatus::NotConforming},
        FailedLoadCase{"missing_from_simulator", true, "gone.pln", "", PlanLoadStatus::Unreadable},
        FailedLoadCase{"bad_level_from_dialog", false, "bad.pln",
                       "[flightplan]\nv=1\ncruising_altitude=high\n",
                       PlanLoadStatus::ConversionFailed}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavoro
