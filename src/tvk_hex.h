// tvk_hex: Intel HEX to TI-83 Plus raw-hex listing converter.
// The shared constants and the three routines of the converter.
#ifndef TVK_HEX_H
#define TVK_HEX_H

#include <cstddef>

#include "platform.h"

constexpr std::size_t NAME_BUFFER_SIZE = 501;  // 500 characters and a NUL
constexpr std::size_t RECORD_HEADER_CHARS = 9; // ":", count, address, type
constexpr unsigned DIGITS_PER_LISTING_LINE = 12;
constexpr std::size_t STRIPPED_NAME_CHARS = 4; // ".hex", or whatever stands there
constexpr char OUTPUT_NAME_SUFFIX[] = "_83p.hex";
constexpr char LISTING_HEADER[] = "AsmPrgm";

constexpr std::size_t OUTPUT_NAME_SUFFIX_CHARS = sizeof OUTPUT_NAME_SUFFIX - 1;
// The longest input name whose listing name still fits a name buffer.
constexpr std::size_t MAX_INPUT_NAME_CHARS =
    NAME_BUFFER_SIZE - 1 - OUTPUT_NAME_SUFFIX_CHARS + STRIPPED_NAME_CHARS;

// Input is read this much at a time; memory use does not depend on the file.
constexpr std::size_t READ_BLOCK_SIZE = 256 * 1024;

// Process exit statuses: success only when a listing was written in full.
constexpr int EXIT_STATUS_OK = 0;
constexpr int EXIT_STATUS_FAILED = 1;

// The program: console dialogue, conversion, exit status.
int run_converter(int argc, char **argv);

// Writes the listing name for input_name into output_name (NAME_BUFFER_SIZE
// bytes): the name less its last four characters, then OUTPUT_NAME_SUFFIX.
// Returns false, with output_name empty, when the result would not fit.
bool derive_output_name(const char *input_name, char *output_name);

// Conversion state, kept between blocks so that input may arrive in pieces of
// any size. Zero-initialise it before the first block.
struct extract_state {
    std::size_t line_chars; // characters of the current line, counted up to the header length
    unsigned column;        // characters on the current listing line
    bool cr_pending;        // a CR whose meaning depends on the byte after it
    bool line_cut;          // a NUL was met: the rest of the line is not copied
    bool ended;             // 0x1A was met: nothing after it is input
};

// Bytes extract_block may write for an input block of n bytes (extract_finish
// needs at most listing_capacity(0)).
constexpr std::size_t listing_capacity(std::size_t n)
{
    return n + 1 + 2 * ((n + DIGITS_PER_LISTING_LINE) / DIGITS_PER_LISTING_LINE);
}

// Converts one block of input into listing bytes at out and returns how many
// were written. Bytes after a 0x1A are ignored and set state.ended.
std::size_t extract_block(extract_state &state, const char *in, std::size_t n, char *out);

// Ends the input: writes what a CR at the very end stands for. Returns the
// number of bytes written at out.
std::size_t extract_finish(extract_state &state, char *out);

enum extract_result { EXTRACT_OK, EXTRACT_READ_ERROR, EXTRACT_WRITE_ERROR };

// Writes the whole listing, LISTING_HEADER included, from the open input to
// the open output, reading block_size bytes at a time.
extract_result extract_raw_hex(os_file input, os_file output, std::size_t block_size);

#endif
