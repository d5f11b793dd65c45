// Start-up: from the start of the process to the end of the main window's load (the splash's
// two seconds are not waited for; bench/probe builds the program's windows on a machine folder
// in this run's temporary folder), beside a bare Qt Widgets program whose window shows one line
// of text (and, for comparison, one whose window is empty). All are started the same way in the
// same run; each reports the moment it got there on the steady clock. Goal: Velmora at most 1.3
// times the bare program with text. The peak memory (maximum resident set) of each process is
// reported too.
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise (e.g. under xvfb-run
// with QT_QPA_PLATFORM=xcb).
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct Run {
    double seconds = 0; // process start to the reported moment
    long maxRssKiB = 0; // peak resident set of the whole process
};

long long steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Starts the program, reads the moment it reports, and collects its resource usage.
Run runOnce(const std::vector<std::string>& command)
{
    int out[2];
    if (pipe(out) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    // The platform's chatter would only clutter the table.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    std::vector<char*> argv;
    argv.reserve(command.size() + 1);
    for (const std::string& arg : command)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    const long long started = steadyNanoseconds();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        throw std::runtime_error("cannot start " + command[0]);
    }

    std::string reported;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        reported.append(buffer, size_t(n));
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || reported.empty())
        throw std::runtime_error(command[0] + " did not finish its start-up");
    return {double(std::stoll(reported) - started) / 1e9, usage.ru_maxrss};
}

struct Side {
    std::vector<double> seconds;
    long maxRssKiB = 0;
    double median() const
    {
        std::vector<double> sorted = seconds;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0 : sorted[sorted.size() / 2];
    }
};

Side bare;
Side bareWithText;
Side velmoraSide;
QTemporaryDir* workDir = nullptr;

std::vector<std::string> bareCommand()
{
    return {VELMORA_BENCH_BARE_WINDOW};
}
std::vector<std::string> bareWithTextCommand()
{
    return {VELMORA_BENCH_BARE_WINDOW, "--with-text"};
}
std::vector<std::string> velmoraCommand()
{
    return {VELMORA_BENCH_PROBE, workDir->path().toStdString()};
}

void measure(benchmark::State& state, std::vector<std::string> (*command)(), Side& side)
{
    try {
        runOnce(command()); // warm the file cache (and seed the machine on its first start)
        for (auto _ : state) {
            const Run run = runOnce(command());
            state.SetIterationTime(run.seconds);
            side.seconds.push_back(run.seconds);
            side.maxRssKiB = std::max(side.maxRssKiB, run.maxRssKiB);
        }
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return;
    }
    state.counters["peak_MiB"] = double(side.maxRssKiB) / 1024.0;
}

void BM_StartupBareQtWindow(benchmark::State& state)
{
    measure(state, bareCommand, bare);
}
void BM_StartupBareQtWindowWithText(benchmark::State& state)
{
    measure(state, bareWithTextCommand, bareWithText);
}
void BM_StartupVelmoraToEndOfLoad(benchmark::State& state)
{
    measure(state, velmoraCommand, velmoraSide);
}

BENCHMARK(BM_StartupBareQtWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_StartupBareQtWindowWithText)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_StartupVelmoraToEndOfLoad)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir dir;
    workDir = &dir;
    // The programs' own settings and data go to the throw-away folder, never to the user's.
    setenv("XDG_CONFIG_HOME", QDir(dir.path()).filePath("config").toLocal8Bit().constData(), 1);
    setenv("XDG_DATA_HOME", QDir(dir.path()).filePath("data").toLocal8Bit().constData(), 1);
    const QString runtime = QDir(dir.path()).filePath("runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit().constData(), 1);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    if (!bareWithText.seconds.empty() && !velmoraSide.seconds.empty()) {
        const double ratio = velmoraSide.median() / bareWithText.median();
        std::printf("\nmedian start-up: Velmora %.1f ms, bare Qt window with one line of text %.1f ms: %.2fx "
                    "(goal at most 1.3x) %s\n",
                    velmoraSide.median() * 1e3, bareWithText.median() * 1e3, ratio,
                    ratio <= 1.3 ? "met" : "MISSED");
        if (!bare.seconds.empty())
            std::printf("                 empty bare Qt window %.1f ms: %.2fx\n", bare.median() * 1e3,
                        velmoraSide.median() / bare.median());
        std::printf("peak memory: Velmora %.1f MiB, bare Qt window with text %.1f MiB, empty %.1f MiB\n",
                    double(velmoraSide.maxRssKiB) / 1024.0, double(bareWithText.maxRssKiB) / 1024.0,
                    double(bare.maxRssKiB) / 1024.0);
    }
    return 0;
}
