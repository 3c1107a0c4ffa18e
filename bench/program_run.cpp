#include "program_run.h"

#include <fcntl.h>
#include <signal.h>
#include <chrono>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "line_probe.h"
#include "shell/folders.h"
#include "shell/local_time.h"
#include "shell/settings_file.h"

namespace bench {

namespace fs = std::filesystem;

ProgramRun::ProgramRun(const std::string& program, const std::string& device, int periodMs,
    const std::vector<std::string>& extraArguments)
{
    char pattern[] = "/tmp/korvanteslin-bench-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    const std::string app = korvanteslin::appFolderFrom(folder_, "");
    fs::create_directories(app);
    fs::create_symlink(device, app + "COM2");
    auto record = korvanteslin::SetDefaultSettings(app, korvanteslin::localNow());
    record.intSendPeriod = static_cast<std::int16_t>(periodMs);
    record.intOscCount = 0; // steady frames from the start
    if (korvanteslin::SaveSettings(app + korvanteslin::settingsFileName(), record))
        throw std::runtime_error("cannot write the settings file");

    std::vector<std::string> arguments{program};
    for (std::string argument : extraArguments) {
        if (const auto at = argument.find("{folder}"); at != std::string::npos)
            argument.replace(at, 8, folder_);
        arguments.push_back(argument);
    }
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::string output = folder_ + "/output.log";
    const std::string errors = folder_ + "/errors.log";

    pid_ = fork();
    if (pid_ == 0) {
        setenv("ProgramFiles", folder_.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // What the program announces or warns about stays out of the bench's
        // table. Descriptors, not streams: flushing the bench's own buffered
        // output here would print it twice.
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0)
            _exit(126);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
}

ProgramRun::~ProgramRun()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

std::int64_t ProgramRun::cpuNs() const
{
    return processCpuNs(pid_);
}

long ProgramRun::rssKiB() const
{
    return processMemoryKiB(pid_);
}

std::int64_t processCpuNs(pid_t pid)
{
    // The scheduler's own count, to the nanosecond, summed over the threads:
    // the clock-tick figures of /proc/PID/stat are too coarse for a process
    // that runs a fraction of a millisecond a second.
    std::error_code ec;
    std::int64_t total = 0;
    bool counted = false;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream schedstat(task.path() / "schedstat");
        long long runNs = 0;
        if (schedstat >> runNs) {
            total += runNs;
            counted = true;
        }
    }
    if (counted)
        return total;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    // Fields after the command name, which ends with the last ")".
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::vector<std::string> fields;
    for (std::string f; rest >> f;)
        fields.push_back(f);
    if (fields.size() < 13)
        return 0;
    const long ticks = sysconf(_SC_CLK_TCK);
    const std::int64_t used = std::stoll(fields[11]) + std::stoll(fields[12]); // utime, stime
    return used * 1'000'000'000 / ticks;
}

long processMemoryKiB(pid_t pid, bool proportional)
{
    // smaps_rollup has both figures, each in kB.
    const std::string key = proportional ? "Pss:" : "Rss:";
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    for (std::string line; std::getline(rollup, line);) {
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(key.size()));
    }
    return 0;
}

std::optional<std::int64_t> ProgramRun::nextTickDeadline(std::int64_t periodNs) const
{
    const fs::path fds = "/proc/" + std::to_string(pid_) + "/fd";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fds, ec)) {
        if (fs::read_symlink(entry.path(), ec).string() != "anon_inode:[timerfd]")
            continue;
        std::ifstream info("/proc/" + std::to_string(pid_) + "/fdinfo/" + entry.path().filename().string());
        const std::int64_t now = monotonicNs();
        std::optional<std::int64_t> next;
        std::int64_t interval = 0;
        for (std::string line; std::getline(info, line);) {
            long long sec = 0, nsec = 0;
            if (std::sscanf(line.c_str(), "it_value: (%lld, %lld)", &sec, &nsec) == 2)
                next = now + sec * 1'000'000'000 + nsec;
            if (std::sscanf(line.c_str(), "it_interval: (%lld, %lld)", &sec, &nsec) == 2)
                interval = sec * 1'000'000'000 + nsec;
        }
        if (next && interval == periodNs)
            return next;
    }
    return std::nullopt;
}

std::string ProgramRun::lineStartingWith(const std::string& prefix, int timeoutMs) const
{
    // The program's standard output goes to a file in its folder: read it
    // again until the line is there.
    for (const std::int64_t deadline = monotonicNs() + std::int64_t(timeoutMs) * 1'000'000; monotonicNs() < deadline;) {
        std::ifstream output(folder_ + "/output.log");
        for (std::string line; std::getline(output, line);)
            if (line.rfind(prefix, 0) == 0)
                return line.substr(prefix.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

} // namespace bench
