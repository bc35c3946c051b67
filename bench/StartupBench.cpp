// From the start of the process to its main window shown, for the client (with a program
// folder of its own, so that start-up asks nothing) and for two minimal Qt Widgets
// programs showing one window, bare and with one line of text, in turns, on a private Xvfb
// display. A window is shown when Qt creates its native window, which it reports on the
// "qt.qpa.xdnd" logging category of the X11 platform: the same line for all three, and no
// code of ours in the way. Prints the medians, the client's ratio to each floor, and the
// same for the peak memory (maximum resident size) by half a second later. The window with
// text is the floor the client is held to: a bare window never reads the font
// configuration nor opens a font, which no window that shows anything can avoid.
// Usage: startup_bench [RUNS]

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

// Starts `program` (with `argument`, unless nullptr) in `folder` with the environment
// given, waits for its first native window, lets it run half a second more, then ends it.
// Nothing when it ended or stayed silent for ten seconds.
std::optional<Run> TimeToWindow(const std::string& program, const char* argument,
                                const std::string& folder,
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
        ::execl(program.c_str(), program.c_str(), argument, static_cast<char*>(nullptr));
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
    // The peak memory is taken over the program's first half second with its window: a
    // window lays itself out and opens its fonts just after Qt creates it, and a program
    // that put its work off until then would otherwise look lighter than it is.
    if (run) {
        ::usleep(500000);
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
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
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
    // Medians of the time and of the peak memory, in turns so that a busy spell of the
    // machine falls on all three alike.
    struct Series {
        const char* name;
        std::string program;
        const char* argument;
        std::vector<double> ms;
        std::vector<double> rss;
    };
    std::vector<Series> series = {
        {"the client", (work / "tavoro").string(), nullptr, {}, {}},
        {"a minimal window with one line of text",
         (bin / "minimal_window").string(),
         "text",
         {},
         {}},
        {"a bare minimal window", (bin / "minimal_window").string(), nullptr, {}, {}},
    };
    for (int i = 0; i < runs; ++i) {
        for (Series& s : series) {
            if (auto run = TimeToWindow(s.program, s.argument, work.string(), environment)) {
                s.ms.push_back(run->milliseconds);
                s.rss.push_back(static_cast<double>(run->max_rss_kib));
            }
        }
    }
    ::kill(xvfb, SIGTERM);
    ::waitpid(xvfb, nullptr, 0);
    fs::remove_all(work);

    for (const Series& s : series) {
        if (s.ms.empty()) {
            std::fprintf(stderr, "no window was seen from %s\n", s.name);
            return 1;
        }
    }
    const Series& client = series[0];
    const double client_ms = Median(client.ms), client_mib = Median(client.rss) / 1024;
    std::printf(
        "client: %.1f ms to its main window shown, peak memory %.1f MiB (medians of %zu runs)\n",
        client_ms, client_mib, client.ms.size());
    for (std::size_t i = 1; i < series.size(); ++i) {
        const double ms = Median(series[i].ms), mib = Median(series[i].rss) / 1024;
        std::printf("against %s: %.1f ms, ratio %.2f; %.1f MiB, ratio %.2f\n", series[i].name, ms,
                    client_ms / ms, mib, client_mib / mib);
    }
    return 0;
}
