// End-to-end tests of the tvk_hex program: transcripts, exit statuses and
// what is left on disk, for successful runs and for every kind of failure.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "harness.h"

namespace {

const std::string PROG_HEX = ":109D9500EF404521A29DEF0A45EF2E45C9484900F0\r\n"
                             ":00000001FF\r\n";
const std::string PROG_LISTING = "AsmPrgm\r\n"
                                 "EF404521A29D\r\n"
                                 "EF0A45EF2E45\r\n"
                                 "C9484900F0FF\r\n";
const std::string OLD_LISTING = "an earlier listing\r\n";

// Console lines joined with the program's own line break.
std::string lines(const std::vector<std::string> &text)
{
    std::string joined;
    for (const std::string &line : text)
        joined += line + console_eol();
    return joined;
}

const std::string BANNER = "- TVK Intel Hex to Raw Hex Converter (Beta) -";

std::string conversion_transcript(const std::string &input, const std::string &listing,
                                  const std::string &last)
{
    return lines(
        {BANNER, "", "Converting:", input, "", "Outputting raw hex to:", listing, "", last});
}

class Cli : public ::testing::Test {
  protected:
    void SetUp() override { dir = make_temp_dir(); }
    void TearDown() override { remove_tree(dir); }

    std::string path(const std::string &name) const { return dir + "/" + name; }
    // An empty directory for the next case of a table.
    void fresh_dir()
    {
        remove_tree(dir);
        dir = make_temp_dir();
    }

    run_result run(std::vector<std::string> args)
    {
        run_options options;
        options.args = std::move(args);
        options.dir = dir;
        return run(options);
    }
    run_result run(run_options options)
    {
        options.dir = dir;
        run_result result = run_tool(options);
        EXPECT_FALSE(result.timed_out);
        EXPECT_EQ(result.err, "");
        return result;
    }

    std::string dir;
};

TEST_F(Cli, ConvertsBesideTheInput)
{
    struct convert_case {
        std::vector<std::string> args;
        std::string input;   // created before the run
        std::string listing; // expected afterwards
    };
    const convert_case cases[] = {
        {{"prog.hex"}, "prog.hex", "prog_83p.hex"},
        {{"sub/prog.hex"}, "sub/prog.hex", "sub/prog_83p.hex"},
        {{"my prog.hex"}, "my prog.hex", "my prog_83p.hex"},
        {{"PROG.IHX"}, "PROG.IHX", "PROG_83p.hex"},
        {{"prog.hex", "other.hex", "--help"}, "prog.hex", "prog_83p.hex"}, // extras ignored
    };
    for (const convert_case &c : cases) {
        SCOPED_TRACE(c.input);
        mkdir(path("sub").c_str(), 0755);
        write_bytes(path(c.input), PROG_HEX);
        run_result result = run(c.args);
        EXPECT_EQ(result.out, conversion_transcript(c.input, c.listing, "Job done!"));
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(read_bytes(path(c.listing)), PROG_LISTING);
        EXPECT_EQ(read_bytes(path(c.input)), PROG_HEX);
        fresh_dir();
    }
}

TEST_F(Cli, ReplacesAnEarlierListing)
{
    write_bytes(path("prog.hex"), PROG_HEX);
    write_bytes(path("prog_83p.hex"), OLD_LISTING);
    chmod(path("prog_83p.hex").c_str(), 0640);
    run_result result = run({"prog.hex"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_bytes(path("prog_83p.hex")), PROG_LISTING);
    EXPECT_EQ(list_dir(dir), (std::vector<std::string>{"prog.hex", "prog_83p.hex"}));
    // Windows files have no permission bits to keep; wine gives every file 0644.
    if (!under_wine()) {
        struct stat st;
        ASSERT_EQ(stat(path("prog_83p.hex").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u); // the earlier listing's permissions stay
    }
}

TEST_F(Cli, NewListingIsAnOrdinaryFile)
{
    write_bytes(path("prog.hex"), PROG_HEX);
    mode_t mask = umask(022);
    umask(mask);
    EXPECT_EQ(run({"prog.hex"}).status, 0);
    struct stat st;
    ASSERT_EQ(stat(path("prog_83p.hex").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask);
}

TEST_F(Cli, UsageWithoutArgument)
{
    run_result result = run(std::vector<std::string>{});
    EXPECT_EQ(result.out, lines({BANNER, "", "Proper usage:", "", "\ttvk_hex [filename(.hex)]"}));
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(list_dir(dir).empty());
}

TEST_F(Cli, RefusesInputsThatCannotBeOpenedOrNamed)
{
    struct refusal_case {
        const char *what;
        std::string arg;
        std::string message;
    };
    const refusal_case cases[] = {
        {"missing file", "missing.hex", "Error opening file!"},
        {"directory", "folder.hex", "Error opening file!"},
        {"empty name", "", "Error opening file!"},
        {"star is not expanded", "*.hex", "Error opening file!"},
        {"question mark is not expanded", "pr?g.hex", "Error opening file!"},
        {"name over the listing's limit", std::string(497, 'n'), "File name too long!"},
        {"name over the buffer", std::string(501, 'n'), "File name too long!"},
    };
    write_bytes(path("prog.hex"), PROG_HEX);
    mkdir(path("folder.hex").c_str(), 0755);
    for (const refusal_case &c : cases) {
        run_result result = run({c.arg});
        EXPECT_EQ(result.out, lines({BANNER, "", c.message})) << c.what;
        EXPECT_EQ(result.status, 1) << c.what;
        EXPECT_EQ(list_dir(dir), (std::vector<std::string>{"folder.hex", "prog.hex"})) << c.what;
    }
}

TEST_F(Cli, LongestNameThatFits)
{
    // Four directories of 99 characters and a 96-character file: 496 in all,
    // so the listing's name is exactly 500 characters.
    std::string name;
    for (int i = 0; i < 4; ++i) {
        name += std::string(99, static_cast<char>('a' + i)) + "/";
        mkdir(path(name).c_str(), 0755);
    }
    name += std::string(92, 'f') + ".hex";
    ASSERT_EQ(name.size(), 496u);
    write_bytes(path(name), PROG_HEX);
    std::string listing = name.substr(0, 492) + "_83p.hex";
    run_result result = run({name});
    EXPECT_EQ(result.out, conversion_transcript(name, listing, "Job done!"));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(read_bytes(path(listing)), PROG_LISTING);
}

void earlier_listing(const std::string &dir)
{
    write_bytes(dir + "/prog_83p.hex", OLD_LISTING);
}

// A listing that cannot be written: the message, status 1, no temporary file,
// and whatever was there before untouched.
TEST_F(Cli, ListingFailuresLeaveNothingBehind)
{
    struct failure_case {
        const char *what;
        void (*set_up)(const std::string &dir);
        rlim_t file_size_limit;
        bool unprivileged;
        // Why the row cannot hold under wine, which runs only as root here and
        // so bypasses the directory's permissions; nullptr where it holds.
        // (There the read-only listing is the Windows read-only attribute, which
        // wine derives from the missing write bits.)
        const char *not_under_wine = nullptr;
    };
    const failure_case cases[] = {
        {"directory in the way",
         [](const std::string &d) { mkdir((d + "/prog_83p.hex").c_str(), 0755); }, RLIM_INFINITY,
         false},
        {"read-only listing",
         [](const std::string &d) {
             write_bytes(d + "/prog_83p.hex", OLD_LISTING);
             chmod((d + "/prog_83p.hex").c_str(), 0444);
             chmod(d.c_str(), 0777);
         },
         RLIM_INFINITY, true},
        {"directory cannot be written",
         [](const std::string &d) {
             write_bytes(d + "/prog_83p.hex", OLD_LISTING);
             chmod((d + "/prog_83p.hex").c_str(), 0666);
             chmod(d.c_str(), 0555);
         },
         RLIM_INFINITY, true, "root may write into any directory"},
        {"disk full inside the header", earlier_listing, 4, false},
        {"disk full right after the header", earlier_listing, 9, false},
        {"disk full at a line break", earlier_listing, 22, false},
        {"disk full one byte short", earlier_listing, 50, false},
    };
    for (const failure_case &c : cases) {
        SCOPED_TRACE(c.what);
        if (under_wine() && c.not_under_wine) {
            std::printf("skipped under wine: %s: %s\n", c.what, c.not_under_wine);
            continue;
        }
        write_bytes(path("prog.hex"), PROG_HEX);
        chmod(path("prog.hex").c_str(), 0644);
        c.set_up(dir);
        std::vector<std::string> before = list_dir(dir);
        std::string old = read_bytes(path("prog_83p.hex")); // "" for a directory

        run_options options;
        options.args = {"prog.hex"};
        options.file_size_limit = c.file_size_limit;
        options.unprivileged = c.unprivileged;
        run_result result = run(options);
        EXPECT_EQ(result.out,
                  conversion_transcript("prog.hex", "prog_83p.hex", "Error writing file!"));
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(list_dir(dir), before);
        EXPECT_EQ(read_bytes(path("prog_83p.hex")), old);
        EXPECT_EQ(read_bytes(path("prog.hex")), PROG_HEX);
        fresh_dir();
    }
}

TEST_F(Cli, ListingOutsideAWritableFileSystem)
{
    // /proc refuses new files even to root.
    run_result result = run({"/proc/version"});
    EXPECT_EQ(result.out,
              conversion_transcript("/proc/version", "/proc/ver_83p.hex", "Error writing file!"));
    EXPECT_EQ(result.status, 1);
}

TEST_F(Cli, ReadErrorIsReportedAndLeavesNoListing)
{
    // Reading a process's memory at address 0 fails with an I/O error.
    ASSERT_EQ(symlink("/proc/self/mem", path("mem.hex").c_str()), 0);
    run_result result = run({"mem.hex"});
    EXPECT_EQ(result.out, conversion_transcript("mem.hex", "mem_83p.hex", "Error reading file!"));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(list_dir(dir), std::vector<std::string>{"mem.hex"});
}

TEST_F(Cli, ListingIsWrittenWhateverStandardOutputIs)
{
    for (stdout_kind out : {STDOUT_CLOSED, STDOUT_DEV_FULL, STDOUT_BROKEN_PIPE}) {
        SCOPED_TRACE(out);
        write_bytes(path("prog.hex"), PROG_HEX);
        run_options options;
        options.args = {"prog.hex"};
        options.out = out;
        run_result result = run(options);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(read_bytes(path("prog_83p.hex")), PROG_LISTING);
        EXPECT_EQ(list_dir(dir), (std::vector<std::string>{"prog.hex", "prog_83p.hex"}));
        fresh_dir();
    }
}

// What holds a run open half-way here is a FIFO as its input.
const char NO_FIFO_UNDER_WINE[] =
    "Windows has no FIFOs, and wine opens one without waiting for a writer, so the "
    "run sees an empty input";

// Opens a FIFO for writing once the program has opened it for reading; -1
// when it does not within a while (it failed, say), rather than hanging.
int open_fifo_writer(const std::string &fifo)
{
    int fd = -1;
    wait_until(
        [&] {
            fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            return fd >= 0 || errno != ENXIO; // ENXIO: no reader yet
        },
        std::chrono::seconds(20));
    if (fd >= 0)
        fcntl(fd, F_SETFL, 0);
    return fd;
}

// The program's temporary listing: ".tvk_hex-*" on POSIX, "tvk_hex-*.tmp" on Windows.
bool is_temp_name(const std::string &name)
{
    return name.rfind(".tvk_hex-", 0) == 0 || name.rfind("tvk_hex-", 0) == 0;
}

bool temp_file_appears(const std::string &dir)
{
    return wait_until(
        [&] {
            for (const std::string &name : list_dir(dir))
                if (is_temp_name(name))
                    return true;
            return false;
        },
        std::chrono::seconds(10));
}

// Sixteen-byte data records, as many as fit in about size bytes.
std::string many_records(std::size_t size)
{
    const std::string record = ":10010000214601360121470136007EFE09D2190140\r\n";
    std::string records;
    while (records.size() + record.size() <= size)
        records += record;
    return records;
}

// A signal part-way through a large conversion: the earlier listing is only
// ever replaced by a rename, so it stays untouched. A signal that can be
// caught also removes the temporary file; after SIGKILL it stays.
TEST_F(Cli, InterruptedRunKeepsTheEarlierListing)
{
    if (under_wine())
        GTEST_SKIP() << "a POSIX signal to wine's process is not a Windows console event: "
                        "wine ends the process without running its console handler; and "
                     << NO_FIFO_UNDER_WINE;
    const std::string part = many_records(4 << 20);
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(sig);
        // Input from a FIFO holds the conversion open half-way.
        ASSERT_EQ(mkfifo(path("prog.hex").c_str(), 0644), 0);
        earlier_listing(dir);
        run_options options;
        options.args = {"prog.hex"};
        options.while_running = [&](pid_t pid) {
            int fd = open_fifo_writer(path("prog.hex"));
            ASSERT_GE(fd, 0);
            ASSERT_EQ(write(fd, part.data(), part.size()), static_cast<ssize_t>(part.size()));
            EXPECT_TRUE(temp_file_appears(dir));
            kill(pid, sig);
            close(fd);
        };
        run_result result = run(options);
        EXPECT_EQ(result.status, -1); // ended by the signal
        EXPECT_EQ(read_bytes(path("prog_83p.hex")), OLD_LISTING);
        std::vector<std::string> names = list_dir(dir);
        if (sig == SIGKILL) {
            ASSERT_EQ(names.size(), 3u);
            EXPECT_TRUE(is_temp_name(names[0]) || is_temp_name(names[2]))
                << names[0] << " " << names[2];
        } else {
            EXPECT_EQ(names, (std::vector<std::string>{"prog.hex", "prog_83p.hex"}));
        }
        fresh_dir();
    }
}

// Inputs of unusual kinds convert in full, and the input is never changed.
TEST_F(Cli, UnusualInputsConvertInFull)
{
    struct input_case {
        const char *what;
        std::string bytes;
        std::string listing;
        bool fifo = false;            // the input is a FIFO, fed while the program runs
        bool listing_is_link = false; // the listing's name is a symbolic link to the input
    };
    std::string one_line = ":10000000";
    std::string one_line_listing = "AsmPrgm\r\n";
    for (int i = 0; i < 100000; ++i) {
        one_line += "ABCDEFGHIJKL";
        one_line_listing += "ABCDEFGHIJKL\r\n";
    }
    const input_case cases[] = {
        {"empty file", "", "AsmPrgm\r\n"},
        {"only NUL bytes", std::string(1 << 20, '\0'), "AsmPrgm\r\n"},
        {"one line of 1.2 MB without a line break", one_line, one_line_listing},
        {"a FIFO", PROG_HEX, PROG_LISTING, true},
        {"listing name links to the input", PROG_HEX, PROG_LISTING, false, true},
    };
    for (const input_case &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.fifo && under_wine()) {
            std::printf("skipped under wine: %s: %s\n", c.what, NO_FIFO_UNDER_WINE);
            continue;
        }
        run_options options;
        options.args = {"prog.hex"};
        if (c.fifo) {
            ASSERT_EQ(mkfifo(path("prog.hex").c_str(), 0644), 0);
            options.while_running = [&](pid_t) {
                int fd = open_fifo_writer(path("prog.hex"));
                ASSERT_GE(fd, 0);
                ASSERT_EQ(write(fd, c.bytes.data(), c.bytes.size()),
                          static_cast<ssize_t>(c.bytes.size()));
                close(fd);
            };
        } else {
            write_bytes(path("prog.hex"), c.bytes);
        }
        if (c.listing_is_link) {
            ASSERT_EQ(symlink("prog.hex", path("prog_83p.hex").c_str()), 0);
        }

        run_result result = run(options);
        EXPECT_EQ(list_dir(dir), (std::vector<std::string>{"prog.hex", "prog_83p.hex"}));
        EXPECT_TRUE(c.fifo || read_bytes(path("prog.hex")) == c.bytes) << "input changed";
        if (c.listing_is_link && under_wine()) {
            // wine follows the link and will not rename over a file that is
            // open, the input here: the run fails and changes nothing.
            EXPECT_EQ(result.out,
                      conversion_transcript("prog.hex", "prog_83p.hex", "Error writing file!"));
            EXPECT_EQ(result.status, 1);
            fresh_dir();
            continue;
        }
        EXPECT_EQ(result.out, conversion_transcript("prog.hex", "prog_83p.hex", "Job done!"));
        EXPECT_EQ(result.status, 0);
        EXPECT_TRUE(read_bytes(path("prog_83p.hex")) == c.listing) << "listing differs";
        struct stat st;
        ASSERT_EQ(lstat(path("prog_83p.hex").c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)); // a link is replaced, not written through
        fresh_dir();
    }
}

} // namespace
