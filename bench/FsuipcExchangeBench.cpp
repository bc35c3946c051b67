// One polling exchange, the client's most frequent use of the simulator: the 16 reads of
// the aircraft state sent through the Linux transport to a stand-in simulator that this
// program starts in a temporary folder of its own.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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
// Repetitions give a median that one slow moment of a shared machine does not move.
BENCHMARK(PollingExchange)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    if (!stand_in.Start()) {
        std::fprintf(stderr, "error: the stand-in simulator did not start\n");
        stand_in.Stop();
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    stand_in.Stop();
    return 0;
}
