#include "measured_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "line_probe.h"
#include "shell/folders.h"
#include "shell/local_time.h"
#include "shell/settings_file.h"

namespace bench {

namespace fs = std::filesystem;

namespace {

std::vector<char*> pointersTo(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (auto& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

MeasuredRun::MeasuredRun(const std::string& program, const RunOptions& options)
    : folder_(scratch_.root.path().toStdString())
    , wantControl_(options.harness && options.control)
{
    const std::string device = options.device.empty() ? folder_ + "/no-line" : options.device;
    scratch_.linkCom2(QString::fromStdString(device));
    // A headless run's data folder, as the program makes it of --data-dir: absolute, ending in the separator.
    const std::string data = options.harness ? folder_ + "/data/" : scratch_.appFolder().toStdString();
    if (options.writeSettings) {
        fs::create_directories(data);
        auto record = korvanteslin::SetDefaultSettings(data, korvanteslin::localNow());
        record.intSendPeriod = static_cast<std::int16_t>(options.periodMs);
        record.intOscCount = static_cast<std::int16_t>(options.oscCount);
        record.intTerminalModel = static_cast<std::int16_t>(options.model);
        if (korvanteslin::SaveSettings(data + korvanteslin::settingsFileName(), record))
            throw std::runtime_error("cannot write the settings file");
    }

    std::vector<std::string> arguments{program};
    if (options.harness)
        arguments.insert(arguments.end(),
            {"--headless", "--data-dir", folder_ + "/data", "--virtual", virtualPath(), "--device", device});
    if (wantControl_)
        arguments.insert(arguments.end(), {"--control", "127.0.0.1:0"});
    for (std::string argument : options.extra) {
        if (const auto at = argument.find("{folder}"); at != std::string::npos)
            argument.replace(at, 8, folder_);
        arguments.push_back(argument);
    }
    std::vector<std::string> environment;
    for (const QString& variable : scratch_.environment().toStringList())
        environment.push_back(variable.toStdString());
    const auto argv = pointersTo(arguments), envp = pointersTo(environment);
    const std::string errorLog = folder_ + "/errors.log";

    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    started_ = monotonicNs();
    pid_ = fork();
    if (pid_ == 0) {
        // Descriptors, not streams: flushing the bench's own buffered output
        // here would print it twice.
        const int err = ::open(errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err < 0 || dup2(pipeEnds[1], STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0)
            _exit(126);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    ::close(pipeEnds[1]);
    out_ = pipeEnds[0];
}

void MeasuredRun::stop()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (out_ >= 0)
        ::close(out_);
    out_ = -1;
}

std::optional<MeasuredRun::Said> MeasuredRun::said(const std::string& prefix, std::int64_t until)
{
    for (;;) {
        for (const Said& line : lines_)
            if (line.text.rfind(prefix, 0) == 0)
                return Said{line.at, line.text.substr(prefix.size())};
        const std::int64_t left = until - monotonicNs();
        if (left <= 0 || out_ < 0)
            return std::nullopt;
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, int(left / 1'000'000) + 1) <= 0)
            continue;
        char buffer[1024];
        const ssize_t n = ::read(out_, buffer, sizeof buffer);
        const std::int64_t now = monotonicNs();
        if (n <= 0)
            return std::nullopt; // the program ended
        pending_.append(buffer, std::size_t(n));
        for (std::size_t end; (end = pending_.find('\n')) != std::string::npos; pending_.erase(0, end + 1))
            lines_.push_back({now, pending_.substr(0, end)});
    }
}

bool MeasuredRun::waitReady(std::int64_t timeoutNs)
{
    const std::int64_t until = monotonicNs() + timeoutNs;
    const auto virtualPort = said("virtual: ", until);
    const auto control = wantControl_ ? said("control: http://127.0.0.1:", until) : std::nullopt;
    if (!virtualPort || (wantControl_ && !control))
        return false;
    virtualAt_ = virtualPort->at;
    if (control) {
        controlAt_ = control->at;
        controlPort_ = static_cast<std::uint16_t>(std::atoi(control->text.c_str()));
    }
    return true;
}

std::string MeasuredRun::lineStartingWith(const std::string& prefix, int timeoutMs)
{
    const auto line = said(prefix, monotonicNs() + std::int64_t(timeoutMs) * 1'000'000);
    return line ? line->text : std::string();
}

std::string MeasuredRun::errors() const
{
    std::ifstream log(folder_ + "/errors.log");
    std::ostringstream text;
    text << log.rdbuf();
    return text.str();
}

std::int64_t MeasuredRun::cpuNs() const
{
    // The scheduler's own count, to the nanosecond, summed over the threads:
    // the clock-tick figures of /proc/PID/stat are too coarse for a process
    // that runs a fraction of a millisecond a second.
    std::error_code ec;
    std::int64_t total = 0;
    bool counted = false;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid_) + "/task", ec)) {
        std::ifstream schedstat(task.path() / "schedstat");
        long long runNs = 0;
        if (schedstat >> runNs) {
            total += runNs;
            counted = true;
        }
    }
    if (counted)
        return total;
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
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

long MeasuredRun::memoryKiB(bool proportional) const
{
    // smaps_rollup has both figures, each in kB.
    const std::string key = proportional ? "Pss:" : "Rss:";
    std::ifstream rollup("/proc/" + std::to_string(pid_) + "/smaps_rollup");
    for (std::string line; std::getline(rollup, line);) {
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(key.size()));
    }
    return 0;
}

std::optional<std::int64_t> MeasuredRun::nextTickDeadline(std::int64_t periodNs) const
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

} // namespace bench
