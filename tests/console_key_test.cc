// The pause at the end of a run in a real console: a tmux pane, where wine
// gives a Windows program its console and keyboard like a terminal would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "harness.h"

namespace {

constexpr auto WAIT_LIMIT = std::chrono::seconds(30);
constexpr auto STILL_WAITING_CHECK = std::chrono::milliseconds(700);

std::string shell_quoted(const std::string &word)
{
    std::string q = "'";
    for (char c : word)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command, returning its standard output.
std::string shell(const std::string &command)
{
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return out;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    pclose(pipe);
    return out;
}

// Stops the tmux server however the test ends, a failed ASSERT included.
struct ServerStopper {
    std::string tmux;
    ~ServerStopper() { std::system((tmux + " kill-server 2> /dev/null").c_str()); }
};

TEST(ConsoleKey, WaitsAfterJobDoneUntilAKeyInATmuxPane)
{
    ASSERT_EQ(std::system("command -v tmux > /dev/null"), 0) << "this test needs tmux";
    std::string dir = make_temp_dir();
    write_bytes(dir + "/prog.hex", ":00000001FF\r\n");
    // tmux runs the pane's command with $SHELL, or else the login shell, which
    // for an account like nobody is nologin; name one that runs it. No
    // configuration file either, so the user's own cannot change the pane.
    std::string tmux =
        "SHELL=/bin/sh tmux -f /dev/null -L tvk_hex_test_" + std::to_string(getpid());
    ServerStopper stopper{tmux};

    std::string run;
    for (const std::string &word : tool_command(false))
        run += shell_quoted(word) + " ";
    // Text on the screen beforehand shows whether the console is cleared.
    std::string script = "cd " + shell_quoted(dir) + " && echo earlier output && " + run +
                         "prog.hex; echo $? > status.tmp && mv status.tmp status";
    ASSERT_EQ(std::system((tmux + " new-session -d -x 100 -y 30 " + shell_quoted(script)).c_str()),
              0);
    std::string screen;
    bool shown = wait_until(
        [&] {
            screen = shell(tmux + " capture-pane -p");
            return screen.find("Job done!") != std::string::npos;
        },
        WAIT_LIMIT);
    EXPECT_TRUE(shown) << screen;
    EXPECT_NE(screen.find("- TVK Intel Hex to Raw Hex Converter (Beta) -"), std::string::npos)
        << screen;
    EXPECT_EQ(screen.find("earlier output"), std::string::npos) << "console not cleared\n"
                                                                << screen;

    std::this_thread::sleep_for(STILL_WAITING_CHECK);
    EXPECT_EQ(read_bytes(dir + "/status"), "") << "ended without a key";
    EXPECT_EQ(read_bytes(dir + "/prog_83p.hex"), "AsmPrgm\r\nFF");

    ASSERT_EQ(std::system((tmux + " send-keys x").c_str()), 0);
    EXPECT_TRUE(wait_until([&] { return !read_bytes(dir + "/status").empty(); }, WAIT_LIMIT))
        << "a key did not end the wait";
    EXPECT_EQ(read_bytes(dir + "/status"), "0\n");

    remove_tree(dir);
}

} // namespace
