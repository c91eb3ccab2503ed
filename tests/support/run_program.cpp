#include "tests/support/run_program.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
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

// A copy of Varnelt.exe whose manifest sets no code page (its entry renamed, same length), which
// then runs in the locale's ANSI code page. Made once, removed at exit.
std::string LegacyCopy(const std::string &program)
{
    static const TemporaryDirectory folder;
    const std::string copy = folder / "Varnelt.exe";
    if (access(copy.c_str(), F_OK) != 0) {
        std::ifstream in(program, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string entry = "activeCodePage";
        int renamed = 0;
        for (size_t at = bytes.find(entry); at != std::string::npos; at = bytes.find(entry, at), ++renamed)
            bytes[at + entry.size() - 1] = 'X';
        if (renamed != 2) // the element's opening and closing tags
            throw std::runtime_error("the manifest's code page entry is not in " + program);
        std::ofstream(copy, std::ios::binary) << bytes;
    }
    return copy;
}

// Where the locales of the legacy code pages live: made with localedef beside the Wine prefix
// (LOCPATH), once for all tests, so that the machine's own locales need not hold them. Wine takes
// the ANSI code page from LC_CTYPE, its texts' language from LC_MESSAGES.
std::string LegacyLocales(const std::string &language)
{
    const std::string prefix = Environment("WINEPREFIX");
    const std::string folder = (prefix.empty() ? "/tmp/varnelt" : prefix) + "-locales";
    std::filesystem::create_directories(folder);
    for (const std::string &name : {language, std::string("en_US")}) {
        const std::string locale = folder + "/" + name + ".UTF-8";
        if (access(locale.c_str(), F_OK) == 0)
            continue;
        // Made aside and renamed into place: tests running at once never see half a locale.
        const std::string aside = locale + "." + std::to_string(getpid());
        std::string said;
        if (!Shell("localedef -i " + name + " -f UTF-8 '" + aside + "'", &said) && access(aside.c_str(), F_OK) != 0)
            throw std::runtime_error("cannot make the locale " + name + ": " + said);
        if (rename(aside.c_str(), locale.c_str()) != 0)
            std::filesystem::remove_all(aside); // made meanwhile by another test
    }
    return folder;
}

// The command that runs the tool: the program, under Wine through RawLine.exe where a raw line
// is handed over. Linux has no raw command line: there the arguments alone count.
std::vector<std::string> Command(const std::vector<std::string> &arguments, const RunOptions &options)
{
    std::string program = Environment("VARNELT_PROGRAM");
    if (program.empty())
        throw std::runtime_error("VARNELT_PROGRAM is not set");
    std::vector<std::string> command;
    if (TargetIsWine() && !options.legacyCodePage.empty()) {
        command = {"env", "-u", "LC_ALL", "LOCPATH=" + LegacyLocales(options.legacyCodePage), "LANG=en_US.UTF-8",
                   "LC_MESSAGES=en_US.UTF-8", "LC_CTYPE=" + options.legacyCodePage + ".UTF-8"};
        program = LegacyCopy(program);
    }
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

namespace {
// One run, its standard error in a file: a pipe would stay open as long as Wine's server does.
RunResult RunOnce(const std::vector<std::string> &arguments, RunOptions options)
{
    std::vector<std::string> command = Command(arguments, options);
    std::vector<char *> argv; // made before the fork: a thread of the test may hold the heap's lock
    for (std::string &word : command)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    options.input = TargetIsWine() ? options.rawCommandLine : "";
    options.outputRoom = options.whileBlocked ? std::max(options.outputRoom, 0) : -1;
    const int error = open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (error < 0)
        throw std::runtime_error("cannot make a file for standard error");
    Child child;
    const bool started = child.Start(options, [&] {
        if (!options.closedError)
            dup2(error, 2);
        execvp(argv[0], argv.data());
    });
    if (!started) {
        close(error);
        throw std::runtime_error("cannot start " + command[0] + " as " + options.user);
    }
    const int limit = options.timeoutSeconds * 1000;
    if (options.whileBlocked && child.WaitUntilAsleepIn(SYS_write, limit, true))
        options.whileBlocked();
    child.Read("", limit);
    RunResult result;
    result.exitCode = child.Wait(limit);
    result.signal = child.signal;
    result.timedOut = child.hung;
    result.output = child.text;
    char chunk[4096];
    for (ssize_t n; (n = pread(error, chunk, sizeof chunk, static_cast<off_t>(result.error.size()))) > 0;)
        result.error.append(chunk, static_cast<size_t>(n));
    close(error);
    return result;
}

std::string Said(const RunResult &run)
{
    std::string status = run.timedOut ? "timed out" : run.signal ? "ended by signal " + std::to_string(run.signal)
                                                                 : "exit status " + std::to_string(run.exitCode);
    return status + ", standard error: \"" + run.error + "\"";
}

// Wine's own words on standard error and nothing on standard output: the program never ran, since
// it writes nothing to standard error (RawLine.exe says there when it cannot start it).
bool WineRefusedTheStart(const RunResult &run) { return TargetIsWine() && run.output.empty() && !run.error.empty(); }
} // namespace

RunResult RunTool(const std::vector<std::string> &arguments, RunOptions options)
{
    RunResult result = RunOnce(arguments, options);
    if (WineRefusedTheStart(result)) {
        std::cerr << "Wine refused to start the program (" << Said(result) << "); trying once more\n";
        result = RunOnce(arguments, options);
        if (WineRefusedTheStart(result))
            throw std::runtime_error("Wine refused to start the program twice: " + Said(result));
    }
    if (result.output.empty() && (result.exitCode != 0 || !result.error.empty()))
        std::cerr << "The run printed nothing: " << Said(result) << "\n";
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
