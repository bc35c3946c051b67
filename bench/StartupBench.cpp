// From the start of the process to its main window shown, for the client (with a program
// folder of its own, so that start-up asks nothing) and for a minimal Qt Widgets program
// showing one window, in turns, on a private Xvfb display. A window is shown when Qt
// creates its native window, which it reports on the "qt.qpa.xdnd" logging category of
// the X11 platform: the same line for both programs, and no code of ours in the way.
// Prints the medians, their ratio, and the ratio of the peak memory (maximum resident
// size) of the two at that point. Usage: startup_bench [RUNS]

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Run {
    double milliseconds;
    long max_rss_kib;
};

// Starts `program` in `folder` with the environment given, waits for its first native
// window, then ends it. Nothing when it ended or stayed silent for ten seconds.
std::optional<Run> TimeToWindow(const std::string& program, const std::string& folder,
                                const std::vector<std::string>& environment) {
    int pipe_ends[2];
    if (::pipe(pipe_ends) != 0) {
        return std::nullopt;
    }
    const Clock::time_point start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipe_ends[1], STDERR_FILENO);
        ::close(pipe_ends[0]);
        ::close(pipe_ends[1]);
        if (::chdir(folder.c_str()) != 0) {
            ::_exit(127);
        }
        for (const std::string& variable : environment) {
            ::putenv(const_cast<char*>(variable.c_str()));
        }
        ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipe_ends[1]);
    std::optional<Run> run;
    std::string seen;
    char buffer[4096];
    for (;;) {
        pollfd readable{pipe_ends[0], POLLIN, 0};
        if (::poll(&readable, 1, 10000) <= 0) {
            break;
        }
        const ssize_t got = ::read(pipe_ends[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        seen.append(buffer, static_cast<std::size_t>(got));
        if (seen.find("setting XdndAware") != std::string::npos) {
            run = Run{std::chrono::duration<double, std::milli>(Clock::now() - start).count(), 0};
            break;
        }
    }
    ::kill(child, SIGKILL);
    ::close(pipe_ends[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    if (run) {
        run->max_rss_kib = usage.ru_maxrss;
    }
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const fs::path bin = fs::path(TAVORO_BIN_DIR);

    // A display of our own: the first free number from 90.
    int display = 90;
    while (display < 200 && fs::exists("/tmp/.X11-unix/X" + std::to_string(display))) {
        ++display;
    }
    const pid_t xvfb = ::fork();
    if (xvfb == 0) {
        const std::string name = ":" + std::to_string(display);
        ::execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "800x600x24", "-nolisten", "tcp",
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 100 && !fs::exists("/tmp/.X11-unix/X" + std::to_string(display)); ++i) {
        ::usleep(50000);
    }

    // The client's folder: its configuration, a simulator folder holding the simulator's
    // executable, and a private runtime folder (Qt wants one closed to others).
    const fs::path work =
        fs::temp_directory_path() / ("tavoro-startup-" + std::to_string(::getpid()));
    fs::create_directories(work / "runtime");
    ::chmod((work / "runtime").c_str(), 0700);
    fs::copy_file(bin / "tavoro", work / "tavoro", fs::copy_options::overwrite_existing);
    std::ofstream(work / "FSX.exe").put('\n');
    std::ofstream(work / "corvanta.ini")
        << "[FSX]\nDIR=" << work.string() << "/\n[connect]\nadresse=127.0.0.1\nport=9\n"
        << "[envoi]\navion=5000\n[ATIS]\naudio=false\n";

    const std::vector<std::string> environment = {
        "DISPLAY=:" + std::to_string(display),
        "QT_QPA_PLATFORM=xcb",
        "QT_LOGGING_RULES=qt.qpa.xdnd=true",
        "XDG_RUNTIME_DIR=" + (work / "runtime").string(),
    };
    std::vector<double> client_ms, floor_ms, client_rss, floor_rss;
    for (int i = 0; i < runs; ++i) {
        if (auto run =
                TimeToWindow((bin / "minimal_window").string(), work.string(), environment)) {
            floor_ms.push_back(run->milliseconds);
            floor_rss.push_back(static_cast<double>(run->max_rss_kib));
        }
        if (auto run = TimeToWindow((work / "tavoro").string(), work.string(), environment)) {
            client_ms.push_back(run->milliseconds);
            client_rss.push_back(static_cast<double>(run->max_rss_kib));
        }
    }
    ::kill(xvfb, SIGTERM);
    ::waitpid(xvfb, nullptr, 0);
    fs::remove_all(work);

    if (client_ms.empty() || floor_ms.empty()) {
        std::fprintf(stderr, "no window was seen (client %zu, floor %zu runs)\n", client_ms.size(),
                     floor_ms.size());
        return 1;
    }
    const double client = Median(client_ms), floor = Median(floor_ms);
    const double client_mib = Median(client_rss) / 1024, floor_mib = Median(floor_rss) / 1024;
    std::printf(
        "start to main window shown: %.1f ms against a minimal window's %.1f ms, "
        "ratio %.2f (medians of %zu runs)\n",
        client, floor, client / floor, client_ms.size());
    std::printf("peak memory by then: %.1f MiB against %.1f MiB, ratio %.2f\n", client_mib,
                floor_mib, client_mib / floor_mib);
    return 0;
}
