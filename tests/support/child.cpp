#include "tests/support/child.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace {
long long Now()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

// In the child, after its standard handles: the rest of the set-up; false when a step failed.
bool SetUp(const ChildSetup &setup, const passwd *user)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlives a test that crashed
    signal(SIGPIPE, SIG_DFL);
    const rlim_t bytes = static_cast<rlim_t>(setup.fileSizeLimit);
    const rlimit limit = {bytes, bytes};
    return (setup.fileSizeLimit < 0 || setrlimit(RLIMIT_FSIZE, &limit) == 0) &&
           (!setup.keepCapabilities || prctl(PR_SET_KEEPCAPS, 1) == 0) &&
           (!user || (setgroups(0, nullptr) == 0 && setgid(user->pw_gid) == 0 && setuid(user->pw_uid) == 0)) &&
           (setup.directory.empty() || chdir(setup.directory.c_str()) == 0);
}
} // namespace

bool Child::Start(const ChildSetup &setup, const std::function<void()> &body)
{
    const passwd *user = setup.user.empty() ? nullptr : getpwnam(setup.user.c_str());
    int in[2] = {-1, -1}, out[2] = {-1, -1};
    fflush(nullptr); // nothing buffered may reach the child's output twice
    if (setup.terminal) {
        // Bytes pass unchanged both ways, no key is echoed unless asked, and a read takes one key.
        termios settings{};
        cfmakeraw(&settings);
        settings.c_lflag |= setup.echoing ? ECHO : 0;
        settings.c_cflag |= CREAD;
        settings.c_cc[VMIN] = 1;
        cfsetspeed(&settings, B38400);
        pid = forkpty(&output, nullptr, &settings, nullptr);
    } else {
        if ((!setup.user.empty() && !user) || pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return false;
        // The input fits into the pipe: written whole before the start. The filler leaves room.
        const bool written = write(in[1], setup.input.data(), setup.input.size()) == ssize_t(setup.input.size());
        if (setup.inputOpen)
            input = in[1];
        else
            close(in[1]);
        capacity = setup.outputRoom < 0 ? 0 : fcntl(out[1], F_SETPIPE_SZ, 4096);
        filler = static_cast<size_t>(std::max(0, capacity - setup.outputRoom));
        if (!written || write(out[1], std::string(filler, '#').data(), filler) != ssize_t(filler))
            return false;
        output = out[0];
        if (setup.brokenOutput) {
            close(out[0]);
            output = -1;
        }
        pid = fork();
    }
    if (pid == 0) {
        if (!setup.terminal) {
            setsid(); // a group of its own, killed whole
            dup2(in[0], 0);
            dup2(out[1], 1);
        }
        if (setup.closedInput)
            close(0);
        if (setup.closedOutput)
            close(1);
        if (setup.closedError)
            close(2);
        if (SetUp(setup, user))
            body();
        _exit(126);
    }
    close(in[0]);
    close(out[1]);
    return pid > 0;
}

Child::~Child()
{
    if (input >= 0 && close(input) == 0)
        Wait(10000);
    Kill();
    if (output >= 0)
        close(output);
}

bool Child::Ended()
{
    if (!reaped && pid > 0 && waitpid(pid, &status, WNOHANG) == pid)
        reaped = true;
    return reaped || pid <= 0;
}

void Child::Kill()
{
    if (Ended())
        return;
    kill(-pid, SIGKILL); // its helpers too (Wine starts some)
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    reaped = true;
}

bool Child::Read(const std::string &marker, int milliseconds, const char *key)
{
    const long long deadline = Now() + milliseconds;
    long long typed = 0;
    auto found = [&] {
        return !marker.empty() && text.size() >= marker.size() &&
               text.compare(text.size() - marker.size(), marker.size(), marker) == 0;
    };
    while (!found() && output >= 0 && Now() < deadline) {
        if (key && Now() - typed >= 50 && write(output, key, 1) == 1)
            typed = Now();
        pollfd ready = {output, POLLIN, 0};
        const bool ended = Ended(); // asked first: what it wrote before it ended is still read
        if (poll(&ready, 1, 20) <= 0) {
            if (ended)
                break;
            continue;
        }
        char chunk[4096];
        const ssize_t n = read(output, chunk, sizeof chunk);
        if (n <= 0) { // the end, or EIO once the terminal's last user is gone
            close(output);
            output = -1;
        }
        text.append(chunk, static_cast<size_t>(std::max<ssize_t>(n, 0)));
        const size_t skipped = std::min(filler, text.size());
        text.erase(0, skipped);
        filler -= skipped;
    }
    return found();
}

int Child::Wait(int milliseconds)
{
    for (const long long deadline = Now() + milliseconds; !Ended(); usleep(1000))
        if (Now() >= deadline) {
            hung = true;
            Kill();
        }
    signal = !hung && WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return !hung && pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Child::WaitUntilAsleepIn(long call, int milliseconds, bool outputFull)
{
    const std::string process = "/proc/" + std::to_string(pid);
    for (const long long deadline = Now() + milliseconds; !Ended() && Now() < deadline; usleep(1000)) {
        int queued = 0;
        if (outputFull && (ioctl(output, FIONREAD, &queued) != 0 || queued < capacity))
            continue;
        std::string stat, calling;
        std::getline(std::ifstream(process + "/stat"), stat);
        std::ifstream(process + "/syscall") >> calling;
        const size_t name = stat.rfind(')'); // the command's name in parentheses may hold anything
        if (name != std::string::npos && stat.compare(name, 3, ") S") == 0 && calling == std::to_string(call))
            return true;
    }
    return false;
}
