// Runs the built tvk_hex as a user would, without a controlling terminal,
// and gives tests small file-system helpers.
#ifndef TVK_TEST_HARNESS_H
#define TVK_TEST_HARNESS_H

#include <sys/resource.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

enum stdout_kind { STDOUT_PIPE, STDOUT_CLOSED, STDOUT_DEV_FULL, STDOUT_BROKEN_PIPE };

struct run_options {
    std::vector<std::string> args; // after the program name
    std::string dir;               // the working directory
    rlim_t file_size_limit = RLIM_INFINITY;
    bool unprivileged = false; // drop root, so permissions hold (not under wine)
    stdout_kind out = STDOUT_PIPE;
    std::function<void(pid_t)> while_running; // called once the program has started
};

struct run_result {
    int status = -1; // exit status, or -1 when it did not exit normally
    std::string out; // standard output (STDOUT_PIPE only)
    std::string err;
    bool timed_out = false;
};

run_result run_tool(const run_options &options);

// Whether the program under test is a Windows executable, run under wine.
bool under_wine();
// The line break the program under test writes to the console.
std::string console_eol();

// Asks done every few milliseconds until it holds or limit has passed;
// whether it held.
bool wait_until(const std::function<bool()> &done, std::chrono::milliseconds limit);

// A fresh directory, removed by remove_tree.
std::string make_temp_dir();
void remove_tree(const std::string &dir);

void write_bytes(const std::string &path, const std::string &bytes);
std::string read_bytes(const std::string &path);
// Names in dir, sorted, without "." and "..".
std::vector<std::string> list_dir(const std::string &dir);

// The program under test (TVK_HEX_EXE), and the command that runs it: a
// Windows executable runs under wine.
std::string tool_path();
std::vector<std::string> tool_command(bool unprivileged);

#endif
