#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "platform/windows/Win32FsuipcTransport.h"
#include "sim/FsuipcClient.h"
#include "windows/WindowsSimHost.h"

namespace tavoro {
namespace {

using test::WindowsSimHost;

TEST(Win32FsuipcTest, WithoutTheSimulatorsWindowOpenFailsWithError2) {
    Win32FsuipcTransport transport;
    FsuipcClient client(transport);
    EXPECT_FALSE(client.Open(0));
    EXPECT_EQ(client.error(), kFsuipcNoServer);
    EXPECT_FALSE(client.is_open());
}

// The versions, then one exchange carrying a read of the aircraft and a write the
// simulator keeps: both travel in the same block through the named mapping.
TEST(Win32FsuipcTest, OpensReadsTheVersionsAndExchangesABlock) {
    WindowsSimHost sim;
    ASSERT_TRUE(sim.started());
    ASSERT_EQ(sim.Command("set xpd 7421"), "ok");
    Win32FsuipcTransport transport;
    FsuipcClient client(transport);
    ASSERT_TRUE(client.Open(8)) << FsuipcErrorText(client.error());
    EXPECT_EQ(client.fsuipc_version(), 0x40000000u);
    EXPECT_EQ(client.sim_version(), 8u);

    std::uint16_t transponder = 0;
    const std::uint32_t written = 0x12345678;
    ASSERT_TRUE(client.Read(0x0354, 2, &transponder));
    ASSERT_TRUE(client.Write(0x66C0, 4, &written));
    ASSERT_TRUE(client.Process()) << FsuipcErrorText(client.error());
    EXPECT_EQ(transponder, 0x7421);
    std::uint32_t read_back = 0;
    ASSERT_TRUE(client.Read(0x66C0, 4, &read_back));
    ASSERT_TRUE(client.Process()) << FsuipcErrorText(client.error());
    EXPECT_EQ(read_back, written);

    // A second open leaves the link as it was.
    EXPECT_FALSE(client.Open(0));
    EXPECT_EQ(client.error(), kFsuipcAlreadyOpen);
    EXPECT_TRUE(client.is_open());
    client.Close();
    EXPECT_FALSE(client.is_open());
}

// A mapping of the block's name made by someone else first would be shared with them: the
// open refuses it (error 5) and leaves nothing behind, so a later open can succeed.
TEST(Win32FsuipcTest, ABlockNameAlreadyMappedIsRefused) {
    WindowsSimHost sim;
    ASSERT_TRUE(sim.started());
    const std::string name =
        "FsasmLib:IPC:" + QString::number(::GetCurrentProcessId(), 16).toUpper().toStdString() +
        ":1";
    HANDLE squatter = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0x8000,
                                           name.c_str());
    ASSERT_NE(squatter, nullptr);
    Win32FsuipcTransport transport;
    FsuipcClient client(transport);
    EXPECT_FALSE(client.Open(0));
    EXPECT_EQ(client.error(), kFsuipcMappingFailed) << FsuipcErrorText(client.error());
    EXPECT_FALSE(client.is_open());
    ::CloseHandle(squatter);
    EXPECT_TRUE(client.Open(0)) << FsuipcErrorText(client.error());
}

struct VersionCase {
    const char* name;
    QStringList arguments;
    std::uint32_t requested;
    int error;
};

class Win32FsuipcVersionTest : public ::testing::TestWithParam<VersionCase> {};

// A wrong version word means "not FSUIPC" on the module's own window, and "the simulator
// is not running behind the network client" on the fallback one.
TEST_P(Win32FsuipcVersionTest, RefusesTheLinkWithItsError) {
    const VersionCase& param = GetParam();
    WindowsSimHost sim(param.arguments);
    ASSERT_TRUE(sim.started());
    Win32FsuipcTransport transport;
    FsuipcClient client(transport);
    EXPECT_FALSE(client.Open(param.requested));
    EXPECT_EQ(client.error(), param.error) << FsuipcErrorText(client.error());
    EXPECT_FALSE(client.is_open());
}

INSTANTIATE_TEST_SUITE_P(
    Windows, Win32FsuipcVersionTest,
    ::testing::Values(
        VersionCase{
            "wrong_word_on_uipcmain", {"--sim-version", "0x12340008"}, 0, kFsuipcWrongVersion},
        VersionCase{"wrong_word_on_fs98main",
                    {"--sim-version", "0x12340008", "--fallback-window"},
                    0,
                    kFsuipcWideClientNoServer},
        VersionCase{"old_module", {"--fsuipc-version", "0x19980004"}, 0, kFsuipcWrongVersion},
        VersionCase{
            "other_simulator", {"--sim-version", "0xFADE0007"}, 8, kFsuipcSimVersionMismatch}),
    [](const auto& info) { return std::string(info.param.name); });

// Sends `stall MILLISECONDS` to the stand-in and probes it with short sends until one
// times out, for at most 8 s: until it reads the command, the exchange is still answered.
// The last probe's result, and the system's error code right after it.
std::pair<FsuipcTransport::SendResult, DWORD> stallAndProbe(WindowsSimHost& sim,
                                                            Win32FsuipcTransport& transport,
                                                            int milliseconds) {
    sim.Send(QStringLiteral("stall %1").arg(milliseconds));
    FsuipcTransport::SendResult probe = transport.SendRequest(300);
    const ULONGLONG give_up = ::GetTickCount64() + 8000;
    while (probe.sent && ::GetTickCount64() < give_up) {
        ::Sleep(20);
        probe = transport.SendRequest(300);
    }
    return {probe, ::GetLastError()};
}

// A simulator that stops answering times out without a system error (the client's error
// 11); one whose window went away fails with one (error 12, which closes the link).
TEST(Win32FsuipcTest, AStalledSimulatorTimesOutAndAVanishedOneFails) {
    WindowsSimHost sim;
    ASSERT_TRUE(sim.started());
    Win32FsuipcTransport transport;
    FsuipcClient client(transport);
    ASSERT_TRUE(client.Open(0)) << FsuipcErrorText(client.error());

    std::uint32_t version = 0;
    ASSERT_TRUE(client.Read(0x3304, 4, &version));
    ASSERT_TRUE(client.Process());
    EXPECT_EQ(version, 0x40000000u);

    // The stand-in's window thread sleeps; the transport's own short time-out passes.
    const auto [stalled, code] = stallAndProbe(sim, transport, 10000);
    EXPECT_EQ(sim.NextLine(30000), "ok");
    EXPECT_FALSE(stalled.sent);
    EXPECT_FALSE(stalled.system_error) << "system error " << code;

    sim.Kill();
    ASSERT_TRUE(client.Read(0x3304, 4, &version));
    EXPECT_FALSE(client.Process());
    EXPECT_EQ(client.error(), kFsuipcSendFailed) << FsuipcErrorText(client.error());
}

// The whole client against a simulator that stops answering for longer than its ten
// tries of two seconds: the exchange fails with error 11, and the queue is spent.
TEST(Win32FsuipcTest, AClientFacingASilentSimulatorTimesOutAllRetries) {
    WindowsSimHost sim;
    ASSERT_TRUE(sim.started());
    Win32FsuipcTransport transport;
    FsuipcClient client(transport);
    ASSERT_TRUE(client.Open(0)) << FsuipcErrorText(client.error());

    // Long enough that the ten tries (21 s) fit after the stall is seen, within 8 s.
    ASSERT_FALSE(stallAndProbe(sim, transport, 32000).first.sent) << "the stand-in never stalled";

    std::uint32_t version = 0;
    ASSERT_TRUE(client.Read(0x3304, 4, &version));
    EXPECT_FALSE(client.Process());
    EXPECT_EQ(client.error(), kFsuipcTimedOut) << FsuipcErrorText(client.error());
    EXPECT_EQ(sim.NextLine(40000), "ok");
    EXPECT_FALSE(client.Process());
    EXPECT_EQ(client.error(), kFsuipcNothingQueued);
}

}  // namespace
}  // namespace tavoro
