// The pause at the end of a run, on a real pseudo-terminal: it reads the
// terminal itself, takes a whole key, ignores signal keys and restores the mode.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"

namespace {

constexpr int WAIT_LIMIT_MS = 20000;
constexpr auto STILL_WAITING_CHECK = std::chrono::milliseconds(300);
constexpr auto KEY_PART_GAP = std::chrono::milliseconds(30);

bool same_mode(const termios &a, const termios &b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag &&
           a.c_cflag == b.c_cflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// Reads the terminal's output until text shows up or time runs out.
bool read_until(int master, const std::string &text, std::string &seen)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(WAIT_LIMIT_MS);
    while (seen.find(text) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        struct pollfd fd = {master, POLLIN, 0};
        if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0)
            return false;
        char buffer[1024];
        ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        seen.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

int wait_for_exit(pid_t pid)
{
    int wstatus = 0;
    if (!wait_until([&] { return waitpid(pid, &wstatus, WNOHANG) != 0; },
                    std::chrono::milliseconds(WAIT_LIMIT_MS))) {
        kill(pid, SIGKILL);
        waitpid(pid, &wstatus, 0);
        return -2;
    }
    return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
}

struct key_case {
    const char *what;
    std::vector<std::string> args;
    std::string shown_before_wait;
    std::vector<std::string> key; // written apart, as a slow line would deliver it
    int status;
};

TEST(KeyWait, WaitsForOneKeyOnTheTerminal)
{
    if (under_wine())
        GTEST_SKIP() << "wine reads a pseudo-terminal through its own console layer; "
                        "the console key wait under wine is tested in a tmux pane";
    const key_case cases[] = {
        {"ordinary key", {"prog.hex"}, "Job done!", {"x"}, 0},
        {"arrow key", {"prog.hex"}, "Job done!", {"\x1b[A"}, 0},
        {"arrow key in two parts", {"prog.hex"}, "Job done!", {"\x1b", "[B"}, 0},
        {"F5", {"prog.hex"}, "Job done!", {"\x1b[15~"}, 0},
        {"Ctrl+C is just a key", {"prog.hex"}, "Job done!", {"\x03"}, 0},
        {"usage", {}, "tvk_hex [filename(.hex)]", {"q"}, 1},
    };
    std::string dir = make_temp_dir();
    write_bytes(dir + "/prog.hex", ":00000001FF\r\n");
    for (const key_case &c : cases) {
        SCOPED_TRACE(c.what);
        int master = -1, slave = -1;
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        termios before;
        ASSERT_EQ(tcgetattr(slave, &before), 0);
        int input[2]; // redirected input, full of keys, must not end the wait
        ASSERT_EQ(pipe(input), 0);
        ASSERT_EQ(write(input[1], "yyyy\n", 5), 5);
        close(input[1]);

        std::vector<std::string> command = tool_command(false);
        command.insert(command.end(), c.args.begin(), c.args.end());
        std::vector<char *> argv;
        for (std::string &word : command)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setsid();
            ioctl(slave, TIOCSCTTY, 0);
            dup2(input[0], 0);
            dup2(slave, 1);
            dup2(slave, 2);
            close(master);
            if (chdir(dir.c_str()) != 0)
                _exit(127);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        close(input[0]);

        std::string seen;
        EXPECT_TRUE(read_until(master, c.shown_before_wait, seen)) << seen;
        // A terminal gets its screen cleared first.
        EXPECT_EQ(seen.rfind("\033[H\033[2J", 0), 0u) << seen;
        std::this_thread::sleep_for(STILL_WAITING_CHECK);
        int wstatus = 0;
        EXPECT_EQ(waitpid(pid, &wstatus, WNOHANG), 0) << "ended without a key";

        for (const std::string &part : c.key) {
            ASSERT_EQ(write(master, part.data(), part.size()), static_cast<ssize_t>(part.size()));
            std::this_thread::sleep_for(KEY_PART_GAP);
        }
        EXPECT_EQ(wait_for_exit(pid), c.status);

        termios after;
        ASSERT_EQ(tcgetattr(slave, &after), 0);
        EXPECT_TRUE(same_mode(before, after)) << "terminal mode not restored";
        // Nothing of the key is left for the shell to read.
        termios drain = after;
        cfmakeraw(&drain);
        drain.c_cc[VMIN] = 0;
        drain.c_cc[VTIME] = 0;
        tcsetattr(slave, TCSANOW, &drain);
        char left[16];
        EXPECT_EQ(read(slave, left, sizeof left), 0);
        close(master);
        close(slave);
    }
    remove_tree(dir);
}

} // namespace
