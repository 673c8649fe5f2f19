// Start-up, memory and idle benchmark. Starts each program in turn, rounds
// interleaved, and times it from the spawn to its first frame, ending it at
// once: on X11 the MapNotify of its window on the X server; on Wayland, with
// BENCH_COMPOSITOR_LOG naming the log of a compositor run with
// WAYLAND_DEBUG=server, its first commit of a surface with a buffer attached,
// by the compositor's clock. A few more rounds let each first paint settle
// and read the resident memory. Prints medians, min-max and each program's
// ratios to the first baseline. The start-up ratio is the median of the
// rounds' own ratios, whose runs are a fraction of a second apart, so a slow
// spell of the machine weighs on both; its 95% confidence interval says how
// far the run's noise leaves it open.
// usage: startup_bench ROUNDS PROGRAM BASELINE [BASELINE...]
#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <optional>
#include <utility>
#include <vector>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <time.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
    double startMs;
    double cpuMs;  // of all its threads, up to its first frame
};

struct Usage {
    long voluntarySwitches = 0;
    long involuntarySwitches = 0;
    double cpuMs = 0;
};

[[noreturn]] void die(const std::string& message)
{
    std::fprintf(stderr, "startup_bench: %s\n", message.c_str());
    std::exit(1);
}

long statusField(const std::string& path, const std::string& key)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + ":", 0) == 0)
            return std::strtol(line.c_str() + key.size() + 1, nullptr, 10);
    return 0;
}

// CPU time of a process so far, to the nanosecond: of all its threads, those
// that have ended included (a thread that started and ended before the frame
// has left /proc/PID/task by then).
double cpuMsSoFar(pid_t pid)
{
    clockid_t clock;
    timespec spent{};
    if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &spent) != 0)
        return 0;
    return double(spent.tv_sec) * 1e3 + double(spent.tv_nsec) / 1e6;
}

// Summed over every thread: Qt's X connection has a reader thread of its own.
Usage usage(pid_t pid)
{
    Usage total;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        total.voluntarySwitches += statusField(task.path() / "status", "voluntary_ctxt_switches");
        total.involuntarySwitches += statusField(task.path() / "status", "nonvoluntary_ctxt_switches");
    }
    total.cpuMs = cpuMsSoFar(pid);
    return total;
}

// Where a program's first frame is seen.
class Display {
public:
    virtual ~Display() = default;
    // Forgets what came before a start.
    virtual void drain() = 0;
    // Waits up to 10 s for the first frame of a program started at `spawned`;
    // the time it came, by this clock.
    virtual std::optional<Clock::time_point> waitForFrame(Clock::time_point spawned) = 0;
};

class X11Display : public Display {
public:
    X11Display()
        : connection_(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(connection_))
            die("cannot connect to the X server in DISPLAY");
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection_);
    }
    ~X11Display() override { xcb_disconnect(connection_); }

    // A top-level window mapped.
    std::optional<Clock::time_point> waitForFrame(Clock::time_point spawned) override
    {
        const auto deadline = spawned + std::chrono::seconds(10);
        while (Clock::now() < deadline) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
                std::free(event);
                if (mapped)
                    return Clock::now();
            }
            pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
            poll(&fd, 1, 100);
        }
        return std::nullopt;
    }

    void drain() override
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_))
            std::free(event);
    }

private:
    xcb_connection_t* connection_;
};

// The compositor's log of the requests it takes: "[ms.us] wl_surface#N.attach(
// wl_buffer#M, ...)", then "[ms.us] wl_surface#N.commit()" (@ for # in older
// libwayland). libwayland stamps them with the wall clock's microseconds,
// cut to 32 bits.
class WaylandLog : public Display {
public:
    explicit WaylandLog(const std::string& path)
        : log_(path)
        , notify_(inotify_init1(IN_CLOEXEC))
    {
        if (!log_ || notify_ < 0 || inotify_add_watch(notify_, path.c_str(), IN_MODIFY) < 0)
            die("cannot follow the compositor's log " + path);
    }
    ~WaylandLog() override { close(notify_); }

    void drain() override
    {
        log_.clear();
        log_.seekg(0, std::ios::end);
        attached_.clear();
        partial_.clear();
    }

    std::optional<Clock::time_point> waitForFrame(Clock::time_point spawned) override
    {
        static const std::regex attach(R"(^\[ *(\d+)\.(\d+)\] wl_surface[@#](\d+)\.attach\(wl_buffer[@#])"),
            commit(R"(^\[ *(\d+)\.(\d+)\] wl_surface[@#](\d+)\.commit\(\))");
        const std::uint32_t spawnedStamp = stamp(spawned);
        const auto deadline = spawned + std::chrono::seconds(10);
        while (Clock::now() < deadline) {
            std::string line;
            while (std::getline(log_, line)) {
                if (log_.eof()) {  // a line the compositor has not finished writing
                    partial_ += line;
                    break;
                }
                line = std::exchange(partial_, {}) + line;
                std::smatch m;
                if (std::regex_search(line, m, attach))
                    attached_[m[3]] = true;
                else if (std::regex_search(line, m, commit) && attached_[m[3]]) {
                    const auto stamped = std::uint32_t(std::stoul(m[1]) * 1000 + std::stoul(m[2]));
                    return spawned + std::chrono::microseconds(std::uint32_t(stamped - spawnedStamp));
                }
            }
            log_.clear();
            pollfd fd{notify_, POLLIN, 0};
            if (poll(&fd, 1, 100) == 1) {
                char events[4096];
                [[maybe_unused]] const auto read = ::read(notify_, events, sizeof events);
            }
        }
        return std::nullopt;
    }

private:
    // The compositor's stamp for a moment of our clock.
    static std::uint32_t stamp(Clock::time_point when)
    {
        const auto wall = std::chrono::system_clock::now() - (Clock::now() - when);
        return std::uint32_t(std::chrono::duration_cast<std::chrono::microseconds>(wall.time_since_epoch()).count());
    }

    std::ifstream log_;
    const int notify_;
    std::map<std::string, bool> attached_;  // the surfaces with a buffer attached, since the start
    std::string partial_;
};

pid_t spawn(const std::string& program)
{
    pid_t pid = 0;
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0)
        die("cannot start " + program);
    return pid;
}

void stop(pid_t pid)
{
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

pid_t startAndWaitForMap(Display& display, const std::string& program, Clock::time_point* shown = nullptr)
{
    display.drain();
    const auto spawned = Clock::now();
    const pid_t pid = spawn(program);
    const auto frame = display.waitForFrame(spawned);
    if (!frame)
        die(program + " showed nothing");
    if (shown)
        *shown = *frame;
    return pid;
}

Sample measureStart(Display& display, const std::string& program)
{
    const auto start = Clock::now();
    Clock::time_point shown;
    const pid_t pid = startAndWaitForMap(display, program, &shown);
    const double startMs = std::chrono::duration<double, std::milli>(shown - start).count();
    const double cpuMs = cpuMsSoFar(pid);
    stop(pid);
    return {startMs, cpuMs};
}

double measureMemoryMiB(Display& display, const std::string& program)
{
    const pid_t pid = startAndWaitForMap(display, program);
    // Let the first paint finish, so fonts and glyphs count as shown.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double rssMiB = double(statusField("/proc/" + std::to_string(pid) + "/status", "VmRSS")) / 1024.0;
    stop(pid);
    return rssMiB;
}

struct Summary {
    double median, min, max;
};

Summary summarize(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

// The median's 95% confidence interval, free of any assumed distribution:
// the order statistics n/2 -+ 0.98 sqrt(n) (normal approximation to the
// binomial; meaningful from a few dozen values).
std::pair<double, double> medianInterval(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const double n = double(values.size()), half = 0.98 * std::sqrt(n);
    const auto at = [&](double rank) {
        return values[std::size_t(std::clamp(rank, 1.0, n)) - 1];
    };
    return {at(std::floor(n / 2 - half)), at(std::ceil(n / 2 + 1 + half))};
}

Usage idle(Display& display, const std::string& program, int seconds)
{
    const pid_t pid = startAndWaitForMap(display, program);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const Usage before = usage(pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const Usage after = usage(pid);
    stop(pid);
    return {after.voluntarySwitches - before.voluntarySwitches,
            after.involuntarySwitches - before.involuntarySwitches, after.cpuMs - before.cpuMs};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
        die("usage: startup_bench ROUNDS PROGRAM BASELINE [BASELINE...]");
    const int rounds = std::max(1, std::atoi(argv[1]));
    const std::vector<std::string> programs(argv + 2, argv + argc);

    const char* log = std::getenv("BENCH_COMPOSITOR_LOG");
    std::unique_ptr<Display> shown = log ? std::unique_ptr<Display>(std::make_unique<WaylandLog>(log))
                                         : std::make_unique<X11Display>();
    Display& display = *shown;
    // Each program by its file's name, or by its path where two share one
    // (the strip of another build).
    std::vector<std::string> names;
    for (const auto& program : programs) {
        const auto sameName = [&](const std::string& other) {
            return std::filesystem::path(other).filename() == std::filesystem::path(program).filename();
        };
        names.push_back(std::count_if(programs.begin(), programs.end(), sameName) > 1
                            ? program
                            : std::filesystem::path(program).filename().string());
    }
    for (const auto& program : programs)  // warm the page cache and font caches
        stop(startAndWaitForMap(display, program));

    // Interleaved, and rotated so no program always runs first.
    const auto interleaved = [&](int count, const auto& measureOne) {
        for (int round = 0; round < count; ++round)
            for (std::size_t k = 0; k < programs.size(); ++k) {
                const std::size_t i = (k + std::size_t(round)) % programs.size();
                measureOne(i);
            }
    };
    std::vector<std::vector<double>> starts(programs.size()), cpu(programs.size()), memory(programs.size());
    interleaved(rounds, [&](std::size_t i) {
        const Sample sample = measureStart(display, programs[i]);
        starts[i].push_back(sample.startMs);
        cpu[i].push_back(sample.cpuMs);
    });
    constexpr int memoryRounds = 5;  // resident memory hardly varies from run to run
    interleaved(memoryRounds, [&](std::size_t i) { memory[i].push_back(measureMemoryMiB(display, programs[i])); });

    std::printf("%d rounds, interleaved; memory from %d more\n", rounds, memoryRounds);
    int width = 16;
    for (const auto& name : names)
        width = std::max(width, int(name.size()));
    std::printf("%-*s %30s %22s %28s\n", width, "program", "start to frame, ms: median (min-max)", "CPU to frame, ms: median",
                "resident, MiB: median (min-max)");
    std::vector<Summary> startSummary, cpuSummary, memorySummary;
    for (std::size_t i = 0; i < programs.size(); ++i) {
        startSummary.push_back(summarize(starts[i]));
        cpuSummary.push_back(summarize(cpu[i]));
        memorySummary.push_back(summarize(memory[i]));
        const auto& s = startSummary.back();
        const auto& m = memorySummary.back();
        std::printf("%-*s %16.1f (%.1f-%.1f) %22.1f %17.2f (%.2f-%.2f)\n", width,
                    names[i].c_str(), s.median, s.min, s.max,
                    cpuSummary.back().median, m.median, m.min, m.max);
    }
    // Each program against the first baseline, the others included: the
    // strip of a build before a change is measured in the same rounds.
    for (std::size_t i = 0; i < programs.size(); ++i) {
        if (i == 1)
            continue;
        std::vector<double> roundRatios;
        for (int round = 0; round < rounds; ++round)
            roundRatios.push_back(starts[i][std::size_t(round)] / starts[1][std::size_t(round)]);
        const auto [low, high] = medianInterval(roundRatios);
        std::printf("ratio %s / %s: start-up %.3fx (95%% CI %.3f-%.3f; ratio of medians %.3fx, CPU to frame %.3fx),"
                    " memory %.3fx\n",
                    names[i].c_str(), names[1].c_str(), summarize(roundRatios).median, low, high,
                    startSummary[i].median / startSummary[1].median, cpuSummary[i].median / cpuSummary[1].median,
                    memorySummary[i].median / memorySummary[1].median);
    }

    constexpr int idleSeconds = 10;
    for (std::size_t i = 0; i < 2; ++i) {
        const Usage u = idle(display, programs[i], idleSeconds);
        std::printf("idle %ds, %s: %ld voluntary and %ld involuntary context switches, %.1f ms CPU\n", idleSeconds,
                    names[i].c_str(), u.voluntarySwitches,
                    u.involuntarySwitches, u.cpuMs);
    }
}
