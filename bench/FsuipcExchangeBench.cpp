// One polling exchange, the client's most frequent use of the simulator: the 16 reads of
// the aircraft state sent through the Linux transport to a stand-in simulator that this
// program starts in a temporary folder of its own. Beside it, in the same run, the floor:
// a bare round trip of a short line over a local stream socket to a process that touches a
// shared block and answers, with none of the client's or the stand-in's code. It prints
// how many times the floor one exchange takes.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "MedianReporter.h"
#include "platform/linux/LocalFsuipcTransport.h"
#include "sim/FsuipcClient.h"

extern char** environ;

namespace {

// The stand-in simulator as a child process, talking through its standard input and
// output.
class StandIn {
public:
    bool Start() {
        char temp[] = "/tmp/tavoro-bench-XXXXXX";
        if (::mkdtemp(temp) == nullptr) {
            return false;
        }
        parent_ = temp;
        folder_ = parent_ + "/sim";
        int input[2], output[2];
        if (::pipe(input) != 0 || ::pipe(output) != 0) {
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, input[1]);
        posix_spawn_file_actions_addclose(&actions, output[0]);
        std::string path = TAVORO_SIMHOST_PATH;
        std::string dir_option = "--dir";
        char* argv[] = {path.data(), dir_option.data(), folder_.data(), nullptr};
        const int spawned = ::posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(input[0]);
        ::close(output[1]);
        commands_ = ::fdopen(input[1], "w");
        answers_ = ::fdopen(output[0], "r");
        if (spawned != 0) {
            pid_ = -1;
            return false;
        }
        return ReadLine() == "serving in " + folder_;
    }

    void Stop() {
        if (pid_ > 0) {
            std::fputs("quit\n", commands_);
            std::fflush(commands_);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (commands_) {
            std::fclose(commands_);
        }
        if (answers_) {
            std::fclose(answers_);
        }
        ::rmdir(folder_.c_str());
        ::rmdir(parent_.c_str());
    }

    const std::string& folder() const { return folder_; }

private:
    std::string ReadLine() {
        std::string line;
        for (int c; (c = std::fgetc(answers_)) != EOF && c != '\n';) {
            line += static_cast<char>(c);
        }
        return line;
    }

    pid_t pid_ = -1;
    std::string parent_;
    std::string folder_;
    FILE* commands_ = nullptr;
    FILE* answers_ = nullptr;
};

StandIn stand_in;

// The floor: a child process at the other end of a socket pair, sharing a block with this
// one. For each message it reads, it reads a word of the block, writes one back and
// answers two bytes, as the stand-in answers an exchange.
class EchoProcess {
public:
    bool Start() {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
            return false;
        }
        void* block = ::mmap(nullptr, tavoro::FsuipcClient::kBlockSize, PROT_READ | PROT_WRITE,
                             MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED) {
            return false;
        }
        block_ = static_cast<volatile std::uint32_t*>(block);
        pid_ = ::fork();
        if (pid_ < 0) {
            return false;
        }
        if (pid_ == 0) {
            ::close(ends[0]);
            char message[64];
            while (::read(ends[1], message, sizeof message) > 0) {
                block_[4] = block_[0] + 1;
                if (::write(ends[1], "1\n", 2) != 2) {
                    break;
                }
            }
            ::_exit(0);
        }
        ::close(ends[1]);
        socket_ = ends[0];
        return true;
    }

    void Stop() {
        if (socket_ >= 0) {
            ::close(socket_);  // the child's read ends, and so does the child
            socket_ = -1;
        }
        if (pid_ > 0) {
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

    int socket() const { return socket_; }
    volatile std::uint32_t* block() const { return block_; }

private:
    pid_t pid_ = -1;
    int socket_ = -1;
    volatile std::uint32_t* block_ = nullptr;
};

EchoProcess echo;

struct PollingRead {
    std::uint32_t offset;
    std::uint32_t size;
};

// The reads of one polling step, in the client's order.
constexpr PollingRead kPollingReads[] = {
    {0x02B4, 4}, {0x0560, 8}, {0x0568, 8}, {0x0570, 4}, {0x0574, 4}, {0x0578, 4},
    {0x057C, 4}, {0x0580, 4}, {0x0354, 2}, {0x0238, 1}, {0x0239, 1}, {0x023B, 1},
    {0x023C, 1}, {0x023A, 1}, {0x0AEC, 2}, {0x3364, 1},
};

void PollingExchange(benchmark::State& state) {
    tavoro::LocalFsuipcTransport transport(stand_in.folder());
    tavoro::FsuipcClient client(transport);
    if (!client.Open(0)) {
        state.SkipWithError(tavoro::FsuipcErrorText(client.error()));
        return;
    }
    std::uint8_t values[std::size(kPollingReads)][8];
    for (auto _ : state) {
        for (std::size_t i = 0; i < std::size(kPollingReads); ++i) {
            client.Read(kPollingReads[i].offset, kPollingReads[i].size, values[i]);
        }
        if (!client.Process()) {
            state.SkipWithError(tavoro::FsuipcErrorText(client.error()));
            break;
        }
        benchmark::DoNotOptimize(values);
    }
}
void BareRoundTrip(benchmark::State& state) {
    // As long as the client's message: the block's name and a newline.
    const std::string line = "FsasmLib:IPC:" + std::to_string(::getpid()) + ":1\n";
    char answer[64];
    std::uint32_t sent = 0;
    for (auto _ : state) {
        echo.block()[0] = ++sent;
        if (::write(echo.socket(), line.data(), line.size()) != static_cast<ssize_t>(line.size()) ||
            ::read(echo.socket(), answer, sizeof answer) != 2 || echo.block()[4] != sent + 1) {
            state.SkipWithError("the echo process did not answer");
            break;
        }
    }
}

// Wall time: most of an exchange is spent waiting for the other process. Repetitions
// give a median that one slow moment of a shared machine does not move.
BENCHMARK(PollingExchange)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK(BareRoundTrip)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    // Forked first, while this process has no other thread.
    if (!echo.Start()) {
        std::fprintf(stderr, "error: the echo process did not start\n");
        echo.Stop();
        return 1;
    }
    if (!stand_in.Start()) {
        std::fprintf(stderr, "error: the stand-in simulator did not start\n");
        stand_in.Stop();
        echo.Stop();
        return 1;
    }
    tavoro::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    stand_in.Stop();
    echo.Stop();

    const auto exchange = reporter.medians.find("PollingExchange");
    const auto floor = reporter.medians.find("BareRoundTrip");
    if (exchange == reporter.medians.end() || floor == reporter.medians.end() ||
        floor->second <= 0) {
        std::fprintf(stderr, "both benchmarks must run to compare them\n");
        return 1;
    }
    std::printf(
        "one polling exchange takes %.1f us, a bare round trip %.1f us: %.2f times the floor "
        "(the goal is at most 2)\n",
        exchange->second, floor->second, exchange->second / floor->second);
    return 0;
}
