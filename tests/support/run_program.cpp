#include "tests/support/run_program.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace {
std::string Environment(const char *name)
{
    const char *value = getenv(name);
    return value ? value : "";
}

// A copy of the program that every user can reach, for runs as another user: the build tree may
// lie in a folder that only its owner may enter, as /root is. Made once, removed at exit.
std::string ReachableCopy(const std::string &program)
{
    static const TemporaryDirectory folder;
    const std::string copy = folder / std::filesystem::path(program).filename().string();
    if (access(copy.c_str(), X_OK) != 0) {
        std::filesystem::copy_file(program, copy);
        if (chmod(folder.path.c_str(), 0755) != 0 || chmod(copy.c_str(), 0755) != 0)
            throw std::runtime_error("cannot open the program's copy to every user");
    }
    return copy;
}

// The command that runs the tool: the program, under Wine through RawLine.exe where a raw line
// is handed over. Linux has no raw command line: there the arguments alone count.
std::vector<std::string> Command(const std::vector<std::string> &arguments, const RunOptions &options)
{
    std::string program = Environment("VARNELT_PROGRAM");
    if (program.empty())
        throw std::runtime_error("VARNELT_PROGRAM is not set");
    std::vector<std::string> command;
    if (TargetIsWine())
        command.push_back("wine");
    if (TargetIsWine() && !options.rawCommandLine.empty())
        command.push_back(Environment("VARNELT_RAWLINE"));
    // A build for another processor runs under its emulator (qemu-aarch64-static for arm64).
    const std::string emulator = Environment("VARNELT_EMULATOR");
    if (!emulator.empty() && !TargetIsWine())
        command.push_back(emulator);
    command.push_back(!options.user.empty() && !TargetIsWine() ? ReachableCopy(program) : program);
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

} // namespace

RunResult RunTool(const std::vector<std::string> &arguments, RunOptions options)
{
    std::vector<std::string> command = Command(arguments, options);
    std::vector<char *> argv; // made before the fork: a thread of the test may hold the heap's lock
    for (std::string &word : command)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    options.input = TargetIsWine() ? options.rawCommandLine : "";
    options.outputRoom = options.whileBlocked ? std::max(options.outputRoom, 0) : -1;
    Child child;
    if (!child.Start(options, [&] { execvp(argv[0], argv.data()); }))
        throw std::runtime_error("cannot start " + command[0] + " as " + options.user);
    const int limit = options.timeoutSeconds * 1000;
    if (options.whileBlocked && child.WaitUntilAsleepIn(SYS_write, limit, true))
        options.whileBlocked();
    child.Read("", limit);
    RunResult result;
    result.exitCode = child.Wait(limit);
    result.signal = child.signal;
    result.timedOut = child.hung;
    result.output = child.text;
    return result;
}

bool Shell(const std::string &command, std::string *said, int seconds)
{
    Child shell;
    shell.Start({}, [&] { execl("/bin/sh", "sh", "-c", (command + " 2>&1").c_str(), nullptr); });
    shell.Read("", seconds * 1000);
    if (said)
        *said += shell.text;
    return shell.Wait(seconds * 1000) == 0;
}

std::string AsShown(std::string transcript)
{
    static const std::pair<std::string, std::string> WineTexts[] = {
        {AccessDenied, "Access denied."},
        {SharingViolation, "Sharing violation."},
        {"An attempt was made to move the file pointer before the beginning of the file.", "Negative seek."},
        {"The filename or extension is too long.", "File name is too long."},
    };
    for (const auto &[windows, wine] : WineTexts) {
        const size_t at = transcript.find(windows);
        if (TargetIsWine() && at != std::string::npos)
            transcript.replace(at, windows.size(), wine);
    }
    return AsPrinted(transcript);
}

std::string WindowsPath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}
