#include "run_program.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
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

// A copy of the program that every user can reach, for runs as another user: the build tree may
// lie in a folder that only its owner may enter, as /root is. Made once, removed at exit.
std::string ReachableCopy(const std::string &program)
{
    static const std::string folder = MakeTemporaryDirectory();
    const std::string copy = folder + "/" + std::filesystem::path(program).filename().string();
    if (access(copy.c_str(), X_OK) != 0) {
        std::filesystem::copy_file(program, copy);
        if (chmod(folder.c_str(), 0755) != 0 || chmod(copy.c_str(), 0755) != 0)
            throw std::runtime_error("cannot open the program's copy to every user");
        atexit([] { RemoveTree(folder); });
    }
    return copy;
}

// Whether the process is asleep (state S): blocked in a call rather than running or in disk I/O.
bool Sleeping(pid_t process)
{
    std::string stat;
    std::getline(std::ifstream("/proc/" + std::to_string(process) + "/stat"), stat);
    const size_t name = stat.rfind(')'); // the command name in parentheses may hold anything
    return name != std::string::npos && stat.compare(name, 3, ") S") == 0;
}
} // namespace

bool TargetIsWine() { return Environment("VARNELT_TARGET") == "wine"; }

const char *TargetName() { return TargetIsWine() ? "wine" : "linux"; }

RunResult RunTool(const std::vector<std::string> &arguments, const RunOptions &options)
{
    std::string program = Environment("VARNELT_PROGRAM");
    if (program.empty())
        throw std::runtime_error("VARNELT_PROGRAM is not set");
    if (!options.user.empty() && !TargetIsWine())
        program = ReachableCopy(program);
    // Linux has no raw command line: there the arguments alone count.
    const std::string line = TargetIsWine() ? options.rawCommandLine : "";
    std::vector<std::string> command;
    if (TargetIsWine())
        command.push_back("wine");
    if (!line.empty())
        command.push_back(Environment("VARNELT_RAWLINE"));
    // A build for another processor runs under its emulator (qemu-aarch64-static for arm64).
    const std::string emulator = Environment("VARNELT_EMULATOR");
    if (!emulator.empty() && !TargetIsWine())
        command.push_back(emulator);
    command.push_back(program);
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &word : command)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    uid_t uid = 0;
    gid_t gid = 0;
    if (!options.user.empty()) {
        const passwd *entry = getpwnam(options.user.c_str());
        if (entry == nullptr)
            throw std::runtime_error("no user " + options.user);
        uid = entry->pw_uid;
        gid = entry->pw_gid;
    }

    int output[2], input[2];
    if (pipe2(output, O_CLOEXEC) != 0 || pipe2(input, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    // A command line fits into the pipe: written whole before the start, then the end.
    if (write(input[1], line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        throw std::runtime_error("cannot write the command line");
    close(input[1]);
    int capacity = 0;
    size_t filler = 0;
    if (options.whileBlocked) {
        capacity = fcntl(output[1], F_SETPIPE_SZ, 4096);
        if (capacity < options.outputRoom || options.outputRoom < 0)
            throw std::runtime_error("cannot shrink the output pipe");
        filler = static_cast<size_t>(capacity - options.outputRoom);
        const std::string bytes(filler, '#');
        if (write(output[1], bytes.data(), filler) != static_cast<ssize_t>(filler))
            throw std::runtime_error("cannot fill the output pipe");
    }
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
        dup2(input[0], 0);
        if (options.closeStandardOutput)
            close(1);
        else
            dup2(output[1], 1);
        if (options.fileSizeLimit >= 0) {
            rlimit limit = {static_cast<rlim_t>(options.fileSizeLimit),
                            static_cast<rlim_t>(options.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (!options.user.empty() && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
            _exit(126);
        signal(SIGPIPE, SIG_DFL);
        setpgid(0, 0); // one group, so that a hang is ended whole (wine starts helpers)
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(output[1]);
    close(input[0]);

    RunResult result;
    const long long deadline = MillisecondsNow() + options.timeoutSeconds * 1000LL;
    int status = 0;
    bool exited = false;
    if (options.whileBlocked) {
        for (;;) {
            int queued = 0;
            ioctl(output[0], FIONREAD, &queued);
            if (queued == capacity && Sleeping(child)) {
                options.whileBlocked();
                break;
            }
            if (waitpid(child, &status, WNOHANG) == child) {
                exited = true;
                break;
            }
            if (MillisecondsNow() > deadline)
                break; // the loop below ends it
            usleep(1000);
        }
    }
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
            usleep(1000);
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
    result.output.erase(0, std::min(filler, result.output.size()));
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

std::string AsShown(std::string transcript)
{
    static const std::pair<std::string, std::string> WineTexts[] = {
        {"Access is denied.", "Access denied."},
        {"The process cannot access the file because it is being used by another process.", "Sharing violation."},
        {"An attempt was made to move the file pointer before the beginning of the file.", "Negative seek."},
    };
    for (const auto &[windows, wine] : WineTexts) {
        const size_t at = transcript.find(windows);
        if (TargetIsWine() && at != std::string::npos)
            transcript.replace(at, windows.size(), wine);
    }
    return transcript;
}

std::string WindowsPath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
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

std::string FilePattern()
{
    std::string bytes(1500, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 7 + 3) % 251 + 1);
    return bytes;
}

testing::AssertionResult FileHolds(const std::string &path, const std::string &original, long long size)
{
    constexpr long long Mi = 1 << 20;
    struct stat after = {};
    if (stat(path.c_str(), &after) != 0)
        return testing::AssertionFailure() << path << " is gone";
    if (after.st_size != size)
        return testing::AssertionFailure() << "the size is " << after.st_size << ", not " << size;
    std::ifstream file(path, std::ios::binary);
    const long long kept = std::min<long long>(size, static_cast<long long>(original.size()));
    std::string head(static_cast<size_t>(kept), '\0');
    file.read(head.data(), kept);
    if (head != original.substr(0, static_cast<size_t>(kept)))
        return testing::AssertionFailure() << "the remaining bytes changed";
    for (long long from : {kept, std::max(kept, size - Mi)}) {
        std::string tail(static_cast<size_t>(std::min(Mi, size - from)), '\0');
        file.seekg(from);
        file.read(tail.data(), static_cast<std::streamsize>(tail.size()));
        if (!file || tail.find_first_not_of('\0') != std::string::npos)
            return testing::AssertionFailure() << "non-zero bytes past " << from;
    }
    return testing::AssertionSuccess();
}
