// POSIX side of the platform layer: terminal, signals and files.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform.h"

namespace {

constexpr char CLEAR_SCREEN[] = "\033[H\033[2J\033[3J"; // home, erase screen, erase scrollback
constexpr char TEMP_BASENAME[] = ".tvk_hex-XXXXXX";
constexpr unsigned char ESC = 0x1B;
constexpr cc_t ESCAPE_WAIT_DECISECONDS = 1; // the rest of an escape sequence follows within this
constexpr mode_t NEW_FILE_MODE = 0666;

// The temporary listing, so a signal that ends the run can remove it.
char pending_temp[TEMP_NAME_SIZE];
volatile sig_atomic_t temp_is_pending = 0;

extern "C" void remove_temp_and_die(int sig)
{
    if (temp_is_pending)
        unlink(pending_temp);
    signal(sig, SIG_DFL);
    raise(sig);
}

void on_fatal_signal(int sig)
{
    struct sigaction old;
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
        return; // started with it ignored (nohup and the like): leave it so
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = remove_temp_and_die;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
}

ssize_t read_retrying(int fd, void *buffer, std::size_t size)
{
    ssize_t n;
    do
        n = read(fd, buffer, size);
    while (n < 0 && errno == EINTR);
    return n;
}

mode_t current_umask()
{
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

} // namespace

void init_platform()
{
    // A console that goes away or a file-size limit must turn into write
    // errors, not end the run half-way.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    on_fatal_signal(SIGINT);
    on_fatal_signal(SIGTERM);
    on_fatal_signal(SIGHUP);
    on_fatal_signal(SIGQUIT);
}

void clear_console()
{
    // A redirected transcript gets exactly the messages, nothing else.
    if (!isatty(STDOUT_FILENO))
        return;
    std::fputs(CLEAR_SCREEN, stdout);
    std::fflush(stdout);
}

void wait_for_key()
{
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct termios saved;
    if (tcgetattr(fd, &saved) != 0) {
        close(fd);
        return;
    }
    struct termios raw = saved;
    raw.c_iflag &=
        ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &raw) == 0) {
        unsigned char key[32];
        ssize_t n = read_retrying(fd, key, sizeof key);
        if (n > 0 && key[0] == ESC) {
            // Arrows and function keys send ESC and more: take the whole key.
            raw.c_cc[VMIN] = 0;
            raw.c_cc[VTIME] = ESCAPE_WAIT_DECISECONDS;
            tcsetattr(fd, TCSANOW, &raw);
            while (read_retrying(fd, key, sizeof key) > 0) {
            }
        }
        // TCSAFLUSH drops anything left unread, so nothing reaches the shell.
        tcsetattr(fd, TCSAFLUSH, &saved);
    }
    close(fd);
}

os_file open_input_file(const char *name)
{
    int fd = open(name, O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return NO_FILE;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return NO_FILE;
    }
    return fd;
}

std::ptrdiff_t read_file(os_file file, char *buffer, std::size_t size)
{
    return read_retrying(static_cast<int>(file), buffer, size);
}

bool write_file(os_file file, const char *buffer, std::size_t size)
{
    while (size > 0) {
        ssize_t n = write(static_cast<int>(file), buffer, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buffer += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool close_file(os_file file)
{
    return close(static_cast<int>(file)) == 0;
}

os_file create_temp_listing(const char *listing_name, char *temp_name)
{
    mode_t mode = NEW_FILE_MODE & ~current_umask();
    struct stat st;
    if (stat(listing_name, &st) == 0) {
        // The listing is replaced only where it could be opened for writing
        // (not a read-only file, not a directory).
        int fd = open(listing_name, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return NO_FILE;
        close(fd);
        if (S_ISREG(st.st_mode))
            mode = st.st_mode & 0777;
    }

    const char *slash = std::strrchr(listing_name, '/');
    std::size_t dir_chars = slash ? static_cast<std::size_t>(slash - listing_name) + 1 : 0;
    if (dir_chars + sizeof TEMP_BASENAME > TEMP_NAME_SIZE)
        return NO_FILE;
    std::memcpy(temp_name, listing_name, dir_chars);
    std::memcpy(temp_name + dir_chars, TEMP_BASENAME, sizeof TEMP_BASENAME);

    int fd = mkstemp(temp_name);
    if (fd < 0)
        return NO_FILE;
    std::memcpy(pending_temp, temp_name, TEMP_NAME_SIZE);
    temp_is_pending = 1;
    if (fchmod(fd, mode) != 0) {
        close(fd);
        discard_temp_listing(temp_name);
        return NO_FILE;
    }
    return fd;
}

bool commit_temp_listing(const char *temp_name, const char *listing_name)
{
    bool ok = rename(temp_name, listing_name) == 0;
    if (ok)
        temp_is_pending = 0;
    return ok;
}

void discard_temp_listing(const char *temp_name)
{
    unlink(temp_name);
    temp_is_pending = 0;
}
