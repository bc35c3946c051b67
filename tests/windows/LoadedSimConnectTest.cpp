#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "platform/SimConnectMessages.h"
#include "platform/windows/LoadedSimConnect.h"
#include "windows/WindowsSimHost.h"

namespace tavoro {
namespace {

using test::WindowsSimHost;

// Points the stand-in library at this test's stand-in simulator.
void usePipe(const QString& pipe) {
    _wputenv_s(L"TAVORO_SIM_PIPE", pipe.toStdWString().c_str());
}

// Dispatches until a message of `id` comes, or a few seconds pass.
std::vector<std::uint8_t> waitForMessage(LoadedSimConnect& library, std::uint32_t id) {
    std::vector<std::uint8_t> found;
    for (int attempt = 0; attempt < 200 && found.empty(); ++attempt) {
        library.CallDispatch([&](const std::uint8_t* message, std::uint32_t size) {
            if (found.empty() && SimRecvWord(message, size, sim_recv::kId) == id) {
                found.assign(message, message + size);
            }
        });
        if (found.empty()) {
            ::Sleep(20);
        }
    }
    return found;
}

struct MissingCase {
    const char* name;
    const wchar_t* library;
    const char* reason;
};

class LoadedSimConnectMissingTest : public ::testing::TestWithParam<MissingCase> {};

// No library, or a library without the calls: the link does not open, nothing is raised,
// and every call fails as on a closed link.
TEST_P(LoadedSimConnectMissingTest, OpenFailsAndCallsFail) {
    LoadedSimConnect library(GetParam().library);
    EXPECT_NE(library.Open("MYAPP"), kSimOk);
    EXPECT_FALSE(library.loaded());
    EXPECT_NE(library.load_error().find(GetParam().reason), std::string::npos)
        << library.load_error();
    EXPECT_NE(library.MenuAddItem("Tavoro_Client", 0, 12345), kSimOk);
    EXPECT_NE(library.CallDispatch([](const std::uint8_t*, std::uint32_t) {}), kSimOk);
    EXPECT_NE(library.Close(), kSimOk);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, LoadedSimConnectMissingTest,
    ::testing::Values(MissingCase{"absent", L"NoSuchSimConnect.dll", "not found"},
                      MissingCase{"not_simconnect", L"kernel32.dll", "without SimConnect_Open"}),
    [](const auto& info) { return std::string(info.param.name); });

// Not beside the program but in the simulator's folder: found there, by its full path.
TEST(LoadedSimConnectTest, FindsTheLibraryInTheSimulatorsFolder) {
    QTemporaryDir simulator;
    ASSERT_TRUE(simulator.isValid());
    ASSERT_TRUE(QFile::copy(QDir(test::ProgramFolder()).filePath("SimConnect.dll"),
                            QDir(simulator.path()).filePath("SimConnect.dll")));
    LoadedSimConnect library(L"NoSuchSimConnect.dll");
    EXPECT_FALSE(library.Load());
    library.SetFallbackFolders({L"", QDir::toNativeSeparators(simulator.path()).toStdWString()});
    EXPECT_TRUE(library.Load()) << library.load_error();
}

// The stand-in library beside the test program is found as the simulator's would be,
// and its messages come through CallDispatch.
TEST(LoadedSimConnectTest, LoadsTheLibraryBesideTheProgramAndDispatches) {
    WindowsSimHost sim;
    ASSERT_TRUE(sim.started());
    usePipe(sim.pipe());
    LoadedSimConnect library;
    ASSERT_EQ(library.Open("MYAPP"), kSimOk) << library.load_error();
    EXPECT_TRUE(library.loaded());
    ASSERT_EQ(library.MenuAddItem("Tavoro_Client", 0, 12345), kSimOk);
    ASSERT_EQ(library.MenuAddSubItem(0, "Afficher", 1, 12345), kSimOk);
    EXPECT_EQ(sim.Command("menu 1"), "ok");
    const std::vector<std::uint8_t> event = waitForMessage(library, kSimRecvEvent);
    ASSERT_FALSE(event.empty());
    EXPECT_EQ(
        SimRecvWord(event.data(), static_cast<std::uint32_t>(event.size()), sim_recv::kEventId),
        1u);
    EXPECT_EQ(library.Close(), kSimOk);
    EXPECT_NE(library.MenuAddItem("Tavoro_Client", 0, 12345), kSimOk);
}

// An exception thrown by the message procedure is raised again by CallDispatch, in our
// own frames, after the library has returned; the messages after the one it was handling
// come with the next dispatch.
TEST(LoadedSimConnectTest, AnExceptionFromTheProcedureComesBackFromCallDispatch) {
    WindowsSimHost sim;
    ASSERT_TRUE(sim.started());
    usePipe(sim.pipe());
    LoadedSimConnect library;
    ASSERT_EQ(library.Open("MYAPP"), kSimOk) << library.load_error();
    ASSERT_EQ(library.MenuAddItem("Tavoro_Client", 0, 12345), kSimOk);
    ASSERT_EQ(library.MenuAddSubItem(0, "Afficher", 1, 12345), kSimOk);
    // Both events are on their way before the first dispatch.
    ASSERT_EQ(sim.Command("menu 0"), "ok");
    ASSERT_EQ(sim.Command("menu 1"), "ok");
    ::Sleep(200);
    int calls = 0;
    EXPECT_THROW(library.CallDispatch([&](const std::uint8_t*, std::uint32_t) {
        ++calls;
        throw std::runtime_error("from the procedure");
    }),
                 std::runtime_error);
    EXPECT_EQ(calls, 1);
    const std::vector<std::uint8_t> next = waitForMessage(library, kSimRecvEvent);
    ASSERT_FALSE(next.empty());
    EXPECT_EQ(SimRecvWord(next.data(), static_cast<std::uint32_t>(next.size()), sim_recv::kEventId),
              1u);
    // The link is still usable afterwards.
    EXPECT_EQ(library.MenuDeleteItem(0), kSimOk);
}

// The simulator going away reaches the procedure as the library's quit message.
TEST(LoadedSimConnectTest, ASimulatorThatQuitIsToldByAQuitMessage) {
    WindowsSimHost sim;
    ASSERT_TRUE(sim.started());
    usePipe(sim.pipe());
    LoadedSimConnect library;
    ASSERT_EQ(library.Open("MYAPP"), kSimOk) << library.load_error();
    sim.Kill();
    EXPECT_FALSE(waitForMessage(library, kSimRecvQuit).empty());
}

}  // namespace
}  // namespace tavoro
