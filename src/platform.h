// The console, process and file operations that differ between POSIX and
// Win32; platform-posix.cc and platform-win32.cc implement them.
#ifndef TVK_PLATFORM_H
#define TVK_PLATFORM_H

#include <cstddef>
#include <cstdint>

// An open file: a POSIX descriptor or a Win32 HANDLE.
typedef std::intptr_t os_file;
constexpr os_file NO_FILE = -1;

// Room for a temporary listing name: the listing's directory and a short name.
constexpr std::size_t TEMP_NAME_SIZE = 600;

// Sets up the process before anything else runs (signals, console modes).
void init_platform();

// Clears the console window, as far as there is one.
void clear_console();

// Waits for one key press on the console keyboard itself, not on standard
// input. Returns at once where there is no console.
void wait_for_key();

// Opens an existing file, not a directory, for reading. NO_FILE on failure.
os_file open_input_file(const char *name);

// Reads up to size bytes. Returns the count, 0 at the end, -1 on an error.
std::ptrdiff_t read_file(os_file file, char *buffer, std::size_t size);

// Writes all size bytes; false on any error.
bool write_file(os_file file, const char *buffer, std::size_t size);

// Closes the file; false when the close reports an error.
bool close_file(os_file file);

// Creates an empty temporary file in the directory of listing_name, to be
// renamed over it later; its name goes to temp_name (TEMP_NAME_SIZE bytes).
// Fails when an existing listing_name could not be opened for writing.
os_file create_temp_listing(const char *listing_name, char *temp_name);

// Replaces listing_name by the closed temporary file in one step.
bool commit_temp_listing(const char *temp_name, const char *listing_name);

// Removes the temporary file after a failure.
void discard_temp_listing(const char *temp_name);

#endif
