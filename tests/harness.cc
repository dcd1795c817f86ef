// Test harness: starts tvk_hex in its own session (no controlling terminal),
// stdin from /dev/null, output captured, with a time limit so nothing hangs.
#include "harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

constexpr uid_t NOBODY = 65534;
constexpr int RUN_TIME_LIMIT_MS = 60000;
constexpr auto POLL_STEP = std::chrono::milliseconds(10);

std::string env_or(const char *name, const char *fallback)
{
    const char *value = std::getenv(name);
    return value && *value ? value : fallback;
}

// The binary copied where an unprivileged user can run it (the build tree may
// sit below a directory that user cannot enter).
std::string unprivileged_copy()
{
    static std::string copy;
    if (copy.empty()) {
        std::string dir = make_temp_dir();
        chmod(dir.c_str(), 0755);
        copy = dir + "/" + std::filesystem::path(tool_path()).filename().string();
        std::filesystem::copy_file(tool_path(), copy);
        chmod(copy.c_str(), 0755);
    }
    return copy;
}

[[noreturn]] void child_fail(const char *what)
{
    dprintf(2, "harness: %s: %s\n", what, std::strerror(errno));
    _exit(127);
}

void drop_root()
{
    if (geteuid() != 0)
        return;
    if (setgroups(0, nullptr) != 0 || setgid(NOBODY) != 0 || setuid(NOBODY) != 0)
        child_fail("dropping root");
}

// One wine server for the whole run, started here so that it does not
// inherit a run's file size limit and each run starts quickly. Its first
// program brings up wine's background services, which would otherwise keep
// that run's output pipes open.
void start_wine_server()
{
    static bool started = false;
    if (!started)
        started = std::system("(wineserver -p60 && wine cmd /c exit)" // lingers for 60 s
                              " < /dev/null > /dev/null 2>&1") == 0;
}

} // namespace

std::string tool_path()
{
    return env_or("TVK_HEX_EXE", "tvk_hex");
}

std::vector<std::string> tool_command(bool unprivileged)
{
    std::vector<std::string> command;
    if (under_wine()) {
        command.push_back("wine");
        setenv("WINEDEBUG", "-all", 0);
        start_wine_server();
    }
    // wine runs only as the owner of its prefix, so it stays root there.
    bool drop = unprivileged && geteuid() == 0 && !under_wine();
    command.push_back(drop ? unprivileged_copy() : tool_path());
    return command;
}

bool under_wine()
{
    const std::string tool = tool_path();
    return tool.size() > 4 && tool.compare(tool.size() - 4, 4, ".exe") == 0;
}

std::string console_eol()
{
    return under_wine() ? "\r\n" : "\n";
}

bool wait_until(const std::function<bool()> &done, std::chrono::milliseconds limit)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(POLL_STEP);
    }
    return true;
}

run_result run_tool(const run_options &options)
{
    std::vector<std::string> command = tool_command(options.unprivileged);
    command.insert(command.end(), options.args.begin(), options.args.end());
    std::vector<char *> argv;
    for (std::string &word : command)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    // Decided before the fork: the child only makes system calls.
    const bool wine = under_wine();
    const bool drop = options.unprivileged && !wine;

    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
        throw std::runtime_error("pipe");
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork");
    if (pid == 0) {
        setsid();
        if (!options.dir.empty() && chdir(options.dir.c_str()) != 0)
            child_fail("chdir");
        int null_in = open("/dev/null", O_RDONLY);
        dup2(null_in, 0);
        dup2(err_pipe[1], 2);
        switch (options.out) {
        case STDOUT_PIPE:
            dup2(out_pipe[1], 1);
            break;
        case STDOUT_CLOSED:
            close(1);
            break;
        case STDOUT_DEV_FULL:
            dup2(open("/dev/full", O_WRONLY), 1);
            break;
        case STDOUT_BROKEN_PIPE:
            dup2(out_pipe[1], 1);
            close(out_pipe[0]); // the reader has gone
            break;
        }
        close(out_pipe[1]);
        close(err_pipe[0]);
        close(err_pipe[1]);
        if (options.out != STDOUT_BROKEN_PIPE)
            close(out_pipe[0]);
        signal(SIGPIPE, SIG_DFL);
        // Windows has no SIGXFSZ: an over-limit write there is a failed
        // WriteFile, which is what wine reports once the signal is ignored.
        if (wine)
            signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {options.file_size_limit, options.file_size_limit};
        if (options.file_size_limit != RLIM_INFINITY && setrlimit(RLIMIT_FSIZE, &limit) != 0)
            child_fail("setrlimit");
        if (drop)
            drop_root();
        execvp(argv[0], argv.data());
        child_fail("exec");
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (options.out == STDOUT_BROKEN_PIPE) {
        close(out_pipe[0]);
        out_pipe[0] = -1;
    }

    if (options.while_running)
        options.while_running(pid);

    run_result result;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(RUN_TIME_LIMIT_MS);
    struct pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timed_out = true;
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
    }
    for (struct pollfd &fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return result;
}

std::string make_temp_dir()
{
    std::string pattern = std::filesystem::temp_directory_path().string() + "/tvk_hex_test.XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp");
    return pattern;
}

void remove_tree(const std::string &dir)
{
    std::error_code ignored;
    for (auto &entry : std::filesystem::recursive_directory_iterator(dir, ignored))
        if (entry.is_directory(ignored) && !entry.is_symlink(ignored))
            chmod(entry.path().c_str(), 0700);
    chmod(dir.c_str(), 0700);
    std::filesystem::remove_all(dir, ignored);
}

void write_bytes(const std::string &path, const std::string &bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        throw std::runtime_error("cannot write " + path);
}

std::string read_bytes(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

std::vector<std::string> list_dir(const std::string &dir)
{
    std::vector<std::string> names;
    for (auto &entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
