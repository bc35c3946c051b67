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

// Dispatches until a message of `id` comes, or `attempts` dispatches 20 ms apart pass.
std::vector<std::uint8_t> waitForMessage(LoadedSimConnect& library, std::uint32_t id,
                                         int attempts = 200) {
    std::vector<std::uint8_t> found;
    for (int attempt = 0; attempt < attempts && found.empty(); ++attempt) {
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

// The stand-in library beside the test program, found as the simulator's would be, opened
// against a stand-in simulator of the test's own with the client's menu in place.
class LinkedLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.started());
        usePipe(sim_.pipe());
        ASSERT_EQ(library_.Open("MYAPP"), kSimOk) << library_.load_error();
        ASSERT_EQ(library_.MenuAddItem("Tavoro_Client", 0, 12345), kSimOk);
        ASSERT_EQ(library_.MenuAddSubItem(0, "Afficher", 1, 12345), kSimOk);
    }

    static std::uint32_t eventId(const std::vector<std::uint8_t>& message) {
        return SimRecvWord(message.data(), static_cast<std::uint32_t>(message.size()),
                           sim_recv::kEventId);
    }

    WindowsSimHost sim_;
    LoadedSimConnect library_;
};

// Its messages come through CallDispatch; once closed, every call fails.
TEST_F(LinkedLibraryTest, DispatchesTheSimulatorsMessages) {
    EXPECT_TRUE(library_.loaded());
    EXPECT_EQ(sim_.Command("menu 1"), "ok");
    const std::vector<std::uint8_t> event = waitForMessage(library_, kSimRecvEvent);
    ASSERT_FALSE(event.empty());
    EXPECT_EQ(eventId(event), 1u);
    EXPECT_EQ(library_.Close(), kSimOk);
    EXPECT_NE(library_.MenuAddItem("Tavoro_Client", 0, 12345), kSimOk);
}

// An exception thrown by the message procedure is raised again by CallDispatch, in our
// own frames, after the library has returned. The message it was handling is spent; the
// ones after it are neither lost nor repeated, whether the library handed them over in
// the same dispatch (the usual case here) or later.
TEST_F(LinkedLibraryTest, AnExceptionFromTheProcedureComesBackFromCallDispatch) {
    ASSERT_EQ(sim_.Command("menu 0"), "ok");
    ASSERT_EQ(sim_.Command("menu 1"), "ok");
    ::Sleep(200);
    int calls = 0;
    EXPECT_THROW(library_.CallDispatch([&](const std::uint8_t*, std::uint32_t) {
        ++calls;
        throw std::runtime_error("from the procedure");
    }),
                 std::runtime_error);
    EXPECT_EQ(calls, 1);
    const std::vector<std::uint8_t> next = waitForMessage(library_, kSimRecvEvent);
    ASSERT_FALSE(next.empty());
    EXPECT_EQ(eventId(next), 1u);
    EXPECT_TRUE(waitForMessage(library_, kSimRecvEvent, 25).empty());
    // The link is still usable afterwards.
    EXPECT_EQ(library_.MenuDeleteItem(0), kSimOk);
}

// The simulator going away reaches the procedure as the library's quit message.
TEST_F(LinkedLibraryTest, ASimulatorThatQuitIsToldByAQuitMessage) {
    sim_.Kill();
    EXPECT_FALSE(waitForMessage(library_, kSimRecvQuit).empty());
}

}  // namespace
}  // namespace tavoro
