#include "program_run.h"

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
#include <vector>

#include "line_probe.h"
#include "shell/folders.h"
#include "shell/local_time.h"
#include "shell/settings_file.h"

namespace bench {

namespace fs = std::filesystem;

ProgramRun::ProgramRun(const std::string& program, const std::string& device, int periodMs,
    const std::vector<std::string>& arguments)
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

    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
        setenv("ProgramFiles", folder_.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        dup2(out[1], STDOUT_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    ::close(out[1]);
    out_ = out[0];
}

ProgramRun::~ProgramRun()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0)
        ::close(out_);
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

std::int64_t ProgramRun::cpuNs() const
{
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

long ProgramRun::rssKiB() const
{
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
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

std::string ProgramRun::lineStartingWith(const std::string& prefix, int timeoutMs)
{
    const std::int64_t deadline = monotonicNs() + std::int64_t(timeoutMs) * 1'000'000;
    for (;;) {
        for (std::size_t end; (end = outBuffer_.find('\n')) != std::string::npos;) {
            const std::string line = outBuffer_.substr(0, end);
            outBuffer_.erase(0, end + 1);
            if (line.rfind(prefix, 0) == 0)
                return line.substr(prefix.size());
        }
        const std::int64_t left = deadline - monotonicNs();
        pollfd p{out_, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, int(left / 1'000'000) + 1) <= 0)
            return {};
        char chunk[4096];
        const ssize_t n = ::read(out_, chunk, sizeof chunk);
        if (n <= 0)
            return {};
        outBuffer_.append(chunk, std::size_t(n));
    }
}

} // namespace bench
