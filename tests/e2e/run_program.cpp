#include "run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace {
std::string Environment(const char *name)
{
    const char *value = getenv(name);
    return value ? value : "";
}

long long MillisecondsNow()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}
} // namespace

bool TargetIsWine() { return Environment("VARNELT_TARGET") == "wine"; }

const char *TargetName() { return TargetIsWine() ? "wine" : "linux"; }

RunResult RunTool(const std::vector<std::string> &arguments, const RunOptions &options)
{
    const std::string program = Environment("VARNELT_PROGRAM");
    if (program.empty())
        throw std::runtime_error("VARNELT_PROGRAM is not set");
    std::vector<std::string> command;
    if (TargetIsWine())
        command.push_back("wine");
    command.push_back(program);
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &word : command)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    if (options.brokenPipe) {
        close(output[0]);
        output[0] = -1;
    }
    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        if (chdir(options.workingDirectory.c_str()) != 0)
            _exit(126);
        const int input = open("/dev/null", O_RDONLY);
        dup2(input, 0);
        if (options.closeStandardOutput)
            close(1);
        else
            dup2(output[1], 1);
        if (options.fileSizeLimit >= 0) {
            rlimit limit = {static_cast<rlim_t>(options.fileSizeLimit),
                            static_cast<rlim_t>(options.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        signal(SIGPIPE, SIG_DFL);
        setpgid(0, 0); // one group, so that a hang is ended whole (wine starts helpers)
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(output[1]);

    RunResult result;
    const long long deadline = MillisecondsNow() + options.timeoutSeconds * 1000LL;
    int status = 0;
    bool exited = false;
    while (!exited) {
        if (output[0] >= 0) {
            pollfd wait = {output[0], POLLIN, 0};
            poll(&wait, 1, 50);
            char chunk[4096];
            const ssize_t n = read(output[0], chunk, sizeof chunk);
            if (n > 0)
                result.output.append(chunk, static_cast<size_t>(n));
            else if (n == 0) {
                close(output[0]);
                output[0] = -1;
            }
        } else {
            usleep(10000);
        }
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            exited = true;
        else if (MillisecondsNow() > deadline) {
            result.timedOut = true;
            kill(-child, SIGKILL);
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            exited = true;
        }
    }
    // Whatever is still in the pipe after the exit.
    if (output[0] >= 0) {
        fcntl(output[0], F_SETFL, O_NONBLOCK);
        char chunk[4096];
        ssize_t n;
        while ((n = read(output[0], chunk, sizeof chunk)) > 0)
            result.output.append(chunk, static_cast<size_t>(n));
        close(output[0]);
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

std::string MakeTemporaryDirectory()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "varnelt-e2e-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

void RemoveTree(const std::string &path)
{
    std::error_code ignored;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path, ignored);
}
