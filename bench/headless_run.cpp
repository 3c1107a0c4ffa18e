#include "headless_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

HeadlessRun::HeadlessRun(const std::string& program, const HeadlessOptions& options)
    : wantControl_(options.control)
{
    char pattern[] = "/tmp/korvanteslin-bench-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    virtualPath_ = folder_ + "/scale";
    const std::string data = folder_ + "/data";
    if (options.writeSettings) {
        // The path the program makes of --data-dir: absolute, ending in the separator.
        const std::string app = data + "/";
        fs::create_directories(app);
        auto record = korvanteslin::SetDefaultSettings(app, korvanteslin::localNow());
        record.intSendPeriod = static_cast<std::int16_t>(options.periodMs);
        record.intOscCount = static_cast<std::int16_t>(options.oscCount);
        record.intTerminalModel = static_cast<std::int16_t>(options.model);
        if (korvanteslin::SaveSettings(app + korvanteslin::settingsFileName(), record))
            throw std::runtime_error("cannot write the settings file");
    }

    std::vector<std::string> arguments{program, "--headless", "--data-dir", data, "--virtual", virtualPath_,
        "--device", options.device.empty() ? folder_ + "/no-line" : options.device};
    if (options.control) {
        arguments.push_back("--control");
        arguments.push_back("127.0.0.1:0");
    }
    arguments.insert(arguments.end(), options.extra.begin(), options.extra.end());
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::string errorLog = folder_ + "/stderr.log";

    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    started_ = monotonicNs();
    pid_ = fork();
    if (pid_ == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        const int err = ::open(errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0)
            dup2(err, STDERR_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    ::close(pipeEnds[1]);
    out_ = pipeEnds[0];
}

HeadlessRun::~HeadlessRun()
{
    stop();
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

void HeadlessRun::stop()
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

bool HeadlessRun::waitReady(std::int64_t timeoutNs)
{
    const std::int64_t until = monotonicNs() + timeoutNs;
    while (!(virtualAt_ && (controlAt_ || !wantControl_))) {
        const std::int64_t left = until - monotonicNs();
        if (left <= 0)
            return false;
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, int(left / 1'000'000) + 1) <= 0)
            continue;
        char buffer[1024];
        const ssize_t n = ::read(out_, buffer, sizeof buffer);
        const std::int64_t now = monotonicNs();
        if (n <= 0)
            return false; // the program ended
        outText_.append(buffer, std::size_t(n));
        for (std::size_t end; (end = outText_.find('\n')) != std::string::npos; outText_.erase(0, end + 1)) {
            const std::string line = outText_.substr(0, end);
            if (line.rfind("virtual: ", 0) == 0)
                virtualAt_ = now;
            if (const auto at = line.find("control: http://127.0.0.1:"); at == 0) {
                controlPort_ = static_cast<std::uint16_t>(std::atoi(line.c_str() + 26));
                controlAt_ = now;
            }
        }
    }
    return true;
}

std::string HeadlessRun::errors() const
{
    std::ifstream log(folder_ + "/stderr.log");
    std::ostringstream text;
    text << log.rdbuf();
    return text.str();
}

} // namespace bench
