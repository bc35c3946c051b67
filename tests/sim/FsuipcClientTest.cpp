#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <map>

#include "sim/FsuipcClient.h"
#include "support/FakeSimulator.h"

namespace tavoro {
namespace {

using FakeServer = test::FakeFsuipcServer;
using test::word;

TEST(FsuipcOpenTest, LinksAndExchangesVersions) {
    FakeServer server;
    FsuipcClient client(server);
    ASSERT_TRUE(client.Open(0)) << FsuipcErrorText(client.error());
    EXPECT_EQ(client.error(), kFsuipcOk);
    EXPECT_EQ(client.sim_version(), 8u);
    EXPECT_EQ(SimVersionName(client.sim_version()), "FSX");
    EXPECT_EQ(client.fsuipc_version(), 0x19980105u);
    EXPECT_EQ(server.message, "FsasmLib:IPC");
    EXPECT_EQ(server.atom, "FsasmLib:IPC:1A2B:1");
    EXPECT_EQ(server.mapping_size, 32768u);
    EXPECT_EQ(
        server.written_library_version[0x330A] | (server.written_library_version[0x330B] << 8),
        2005);
    EXPECT_EQ(server.last_timeout, 2000);
    // Both versions came with the first exchange: no pause before the link is open.
    EXPECT_EQ(server.sleeps, std::vector<int>{});

    // Opening an open client changes nothing.
    EXPECT_FALSE(client.Open(0));
    EXPECT_EQ(client.error(), kFsuipcAlreadyOpen);
    EXPECT_TRUE(client.is_open());

    client.Close();
    EXPECT_FALSE(client.is_open());
    EXPECT_FALSE(server.atom_held);
    EXPECT_FALSE(server.mapped);
    client.Close();  // closing twice does nothing
}

struct OpenFailure {
    const char* name;
    std::function<void(FakeServer&)> setup;
    std::uint32_t requested;
    int error;
};

class FsuipcOpenFailureTest : public ::testing::TestWithParam<OpenFailure> {};

TEST_P(FsuipcOpenFailureTest, FailsWithItsCodeAndLeavesNothingOpen) {
    FakeServer server;
    GetParam().setup(server);
    FsuipcClient client(server);
    EXPECT_FALSE(client.Open(GetParam().requested));
    EXPECT_EQ(client.error(), GetParam().error) << FsuipcErrorText(client.error());
    EXPECT_FALSE(client.is_open());
    EXPECT_FALSE(server.atom_held);
    EXPECT_FALSE(server.mapped);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, FsuipcOpenFailureTest,
    ::testing::Values(
        OpenFailure{"no_window",
                    [](FakeServer& s) { s.window = FsuipcTransport::ServerWindow::None; }, 0,
                    kFsuipcNoServer},
        OpenFailure{"register", [](FakeServer& s) { s.register_ok = false; }, 0,
                    kFsuipcRegisterFailed},
        OpenFailure{"atom", [](FakeServer& s) { s.atom_ok = false; }, 0, kFsuipcAtomFailed},
        OpenFailure{"mapping_exists", [](FakeServer& s) { s.mapping_ok = false; }, 0,
                    kFsuipcMappingFailed},
        OpenFailure{"view", [](FakeServer& s) { s.view_ok = false; }, 0, kFsuipcViewFailed},
        OpenFailure{"wrong_version_main_window",
                    [](FakeServer& s) { s.SetVersions(0x19980005u, 0x12340008u); }, 0,
                    kFsuipcWrongVersion},
        OpenFailure{"wrong_version_fallback_window",
                    [](FakeServer& s) {
                        s.window = FsuipcTransport::ServerWindow::Fs98main;
                        s.SetVersions(0x19980005u, 0x12340008u);
                    },
                    0, kFsuipcWideClientNoServer},
        OpenFailure{"old_fsuipc", [](FakeServer& s) { s.SetVersions(0x19980004u, 0xFADE0008u); }, 0,
                    kFsuipcWrongVersion},
        OpenFailure{"sim_not_requested",
                    [](FakeServer& s) { s.SetVersions(0x19980005u, 0xFADE0007u); }, 8,
                    kFsuipcSimVersionMismatch},
        OpenFailure{"no_answer", [](FakeServer& s) { s.failing_sends = 1000; }, 0, kFsuipcTimedOut},
        OpenFailure{"send_fails",
                    [](FakeServer& s) {
                        s.failing_sends = 1000;
                        s.system_error = true;
                    },
                    0, kFsuipcSendFailed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FsuipcOpenTest, VersionZeroIsAskedAgainUpToFiveTimes) {
    FakeServer server;
    server.SetVersions(0, 0);
    FsuipcClient client(server);
    EXPECT_FALSE(client.Open(0));
    EXPECT_EQ(client.error(), kFsuipcWrongVersion);
    EXPECT_EQ(server.sends, 5);
    // A server still starting gets its pause between the attempts.
    EXPECT_EQ(server.sleeps, (std::vector<int>{100, 100, 100, 100, 100}));
}

class FsuipcQueueTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(client_.Open(0)); }
    FakeServer server_;
    FsuipcClient client_{server_};
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(40000);
};

TEST_F(FsuipcQueueTest, SizeLimitOfTheBlock) {
    EXPECT_TRUE(client_.Read(0, 32492, buffer_.data()));
    client_.Close();
    ASSERT_TRUE(client_.Open(0)) << FsuipcErrorText(client_.error());
    EXPECT_FALSE(client_.Read(0, 32493, buffer_.data()));
    EXPECT_EQ(client_.error(), kFsuipcQueueFull);
    EXPECT_TRUE(client_.Write(0, 32496, buffer_.data()));
    EXPECT_FALSE(client_.Write(0, 1, buffer_.data()));
    EXPECT_EQ(client_.error(), kFsuipcQueueFull);
    ASSERT_TRUE(client_.Process());
    EXPECT_FALSE(client_.Write(0, 32497, buffer_.data()));
    EXPECT_FALSE(client_.Read(0, 0xFFFFFFFFu, buffer_.data()));
    EXPECT_EQ(client_.error(), kFsuipcQueueFull);
}

TEST_F(FsuipcQueueTest, NothingQueuedSendsNothing) {
    int sends = server_.sends;
    EXPECT_FALSE(client_.Process());
    EXPECT_EQ(client_.error(), kFsuipcNothingQueued);
    EXPECT_EQ(server_.sends, sends);
}

TEST_F(FsuipcQueueTest, ClosedClientRefusesEverything) {
    client_.Close();
    std::uint32_t value = 0;
    EXPECT_FALSE(client_.Read(0x3304, 4, &value));
    EXPECT_EQ(client_.error(), kFsuipcNotOpen);
    EXPECT_FALSE(client_.Write(0x3304, 4, &value));
    EXPECT_EQ(client_.error(), kFsuipcNotOpen);
    EXPECT_FALSE(client_.Process());
    EXPECT_EQ(client_.error(), kFsuipcNotOpen);
    EXPECT_EQ(ShowTextInSimulator(client_, "hello"), "Reading: Call cannot execute, link not Open");
}

TEST_F(FsuipcQueueTest, ReadsAndWritesInOneExchange) {
    std::uint16_t transponder = 0x1200;
    server_.Poke(0x0354, &transponder, 2);
    std::uint32_t source = 0xCAFEBABE;
    std::uint16_t read = 0;
    ASSERT_TRUE(client_.Write(0x0238, 4, &source));
    source = 0;  // the data was copied when queued
    ASSERT_TRUE(client_.Read(0x0354, 2, &read));
    int sends = server_.sends;
    ASSERT_TRUE(client_.Process());
    EXPECT_EQ(server_.sends, sends + 1);
    EXPECT_EQ(read, 0x1200);
    EXPECT_EQ(server_.Peek(0x0238), 0xBE);
    EXPECT_EQ(server_.Peek(0x023B), 0xCA);
}

TEST_F(FsuipcQueueTest, RetriesThenTimesOutOrFails) {
    std::uint8_t flag = 0;
    server_.failing_sends = 3;
    server_.sleeps.clear();
    ASSERT_TRUE(client_.Read(0x3364, 1, &flag));
    EXPECT_TRUE(client_.Process());
    EXPECT_EQ(server_.sleeps, (std::vector<int>{100, 100, 100}));

    server_.failing_sends = 10;
    ASSERT_TRUE(client_.Read(0x3364, 1, &flag));
    EXPECT_FALSE(client_.Process());
    EXPECT_EQ(client_.error(), kFsuipcTimedOut);
    // The failed exchange consumed the queue.
    EXPECT_FALSE(client_.Process());
    EXPECT_EQ(client_.error(), kFsuipcNothingQueued);

    server_.failing_sends = 10;
    server_.system_error = true;
    ASSERT_TRUE(client_.Read(0x3364, 1, &flag));
    EXPECT_FALSE(client_.Process());
    EXPECT_EQ(client_.error(), kFsuipcSendFailed);
    EXPECT_STREQ(FsuipcErrorText(client_.error()), "IPC sendmessage failed all retries");
}

TEST_F(FsuipcQueueTest, AnswerOtherThanOneIsBadData) {
    std::uint8_t flag = 0;
    server_.answer = 0;
    ASSERT_TRUE(client_.Read(0x3364, 1, &flag));
    EXPECT_FALSE(client_.Process());
    EXPECT_EQ(client_.error(), kFsuipcBadData);
}

struct Doctoring {
    const char* name;
    std::size_t at;  // byte of the read's header to change
    std::uint32_t value;
};

class FsuipcHostileAnswerTest : public FsuipcQueueTest,
                                public ::testing::WithParamInterface<Doctoring> {};

// A server that rewrites the request headers cannot make the client copy more, or to
// another place, than it asked for.
TEST_P(FsuipcHostileAnswerTest, NeverWritesPastTheDestination) {
    std::array<std::uint8_t, 12> guarded;
    guarded.fill(0xAA);
    std::uint8_t* destination = guarded.data() + 4;  // 4 bytes asked for, canaries around
    std::uint32_t value = 0x01020304;
    server_.Poke(0x0574, &value, 4);
    server_.doctor = [](std::uint8_t* block) {
        Doctoring d = GetParam();
        std::memcpy(block + d.at, &d.value, 4);
        std::memset(block + 16, 0x55, 1000);  // a body far larger than asked for
    };
    ASSERT_TRUE(client_.Read(0x0574, 4, destination));
    EXPECT_FALSE(client_.Process());
    EXPECT_EQ(client_.error(), kFsuipcBadData);
    for (std::size_t i = 0; i < guarded.size(); ++i) {
        if (i < 4 || i >= 8) {
            EXPECT_EQ(guarded[i], 0xAA) << "byte " << i << " outside the destination changed";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Headers, FsuipcHostileAnswerTest,
                         ::testing::Values(Doctoring{"larger_size", 8, 1000},
                                           Doctoring{"other_offset", 4, 0x3D00},
                                           Doctoring{"write_id", 0, 2},
                                           Doctoring{"unknown_id", 0, 77}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FsuipcQueueTest, ClientWordIsTheClientsOwn) {
    std::uint32_t value = 0x01020304, read = 0;
    server_.Poke(0x0574, &value, 4);
    server_.doctor = [](std::uint8_t* block) { std::memset(block + 12, 0xFF, 4); };
    ASSERT_TRUE(client_.Read(0x0574, 4, &read));
    EXPECT_TRUE(client_.Process());
    EXPECT_EQ(read, 0x01020304u);
}

TEST_F(FsuipcQueueTest, TextShownInTheSimulator) {
    std::string text(200, 'x');
    text[0] = 'A';
    EXPECT_EQ(ShowTextInSimulator(client_, text), std::nullopt);
    EXPECT_EQ(server_.Peek(0x3380), 'A');
    EXPECT_EQ(server_.Peek(0x3380 + 126), 'x');
    EXPECT_EQ(server_.Peek(0x3380 + 127), 0);
    // The display control goes with the next exchange.
    EXPECT_EQ(server_.Peek(0x32FA), 0);
    std::uint8_t flag;
    ASSERT_TRUE(client_.Read(0x3364, 1, &flag));
    ASSERT_TRUE(client_.Process());
    EXPECT_EQ(server_.Peek(0x32FA), 0xFF);
    EXPECT_EQ(server_.Peek(0x32FB), 0xFF);

    server_.failing_sends = 10;
    EXPECT_EQ(ShowTextInSimulator(client_, "hello"), "Processing: IPC timed out all retries");
}

TEST(FsuipcNamesTest, VersionNamesAndErrorTexts) {
    EXPECT_EQ(SimVersionName(0), "Any");
    EXPECT_EQ(SimVersionName(7), "FS9");
    EXPECT_EQ(SimVersionName(9), "");
    EXPECT_STREQ(FsuipcErrorText(0), "connecté");
    EXPECT_STREQ(FsuipcErrorText(2), "Cannot link to FSUIPC or WideClient");
    EXPECT_STREQ(FsuipcErrorText(15),
                 "Read or Write request cannot be added, memory for Process is full");
    EXPECT_STREQ(FsuipcErrorText(16), "");
}

}  // namespace
}  // namespace tavoro
