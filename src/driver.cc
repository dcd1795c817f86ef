// The program's run: console dialogue, listing written beside the input
// through a temporary file, and an exit status that tells success from failure.
#include <cstdio>
#include <cstring>

#include "tvk_hex.h"

namespace {

constexpr char BANNER[] = "- TVK Intel Hex to Raw Hex Converter (Beta) -";
constexpr char USAGE_TITLE[] = "Proper usage:";
constexpr char USAGE_LINE[] = "\ttvk_hex [filename(.hex)]";
constexpr char NAME_TOO_LONG[] = "File name too long!";
constexpr char OPEN_ERROR[] = "Error opening file!";
constexpr char CONVERTING[] = "Converting:";
constexpr char OUTPUTTING[] = "Outputting raw hex to:";
constexpr char JOB_DONE[] = "Job done!";
constexpr char READ_ERROR[] = "Error reading file!";
constexpr char WRITE_ERROR[] = "Error writing file!";

// Shows text and line_breaks line breaks, then flushes, so that everything
// is on screen before any wait. A console that cannot be written is ignored.
void say(const char *text, int line_breaks)
{
    std::fputs(text, stdout);
    for (int i = 0; i < line_breaks; ++i)
        std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Writes the listing to a temporary file and renames it over listing_name
// only once it is complete, so a failure never leaves a partial listing or
// harms one that was there before.
extract_result write_listing(os_file input, const char *listing_name)
{
    char temp_name[TEMP_NAME_SIZE] = "";
    os_file output = create_temp_listing(listing_name, temp_name);
    if (output == NO_FILE)
        return EXTRACT_WRITE_ERROR;
    extract_result result = extract_raw_hex(input, output, READ_BLOCK_SIZE);
    if (!close_file(output) && result == EXTRACT_OK)
        result = EXTRACT_WRITE_ERROR;
    if (result == EXTRACT_OK && !commit_temp_listing(temp_name, listing_name))
        result = EXTRACT_WRITE_ERROR;
    if (result != EXTRACT_OK)
        discard_temp_listing(temp_name);
    return result;
}

} // namespace

int run_converter(int argc, char **argv)
{
    init_platform();
    clear_console();
    say(BANNER, 2);
    if (argc < 2) {
        say(USAGE_TITLE, 2);
        say(USAGE_LINE, 1);
        wait_for_key();
        return EXIT_STATUS_FAILED;
    }
    if (std::strlen(argv[1]) > MAX_INPUT_NAME_CHARS) {
        say(NAME_TOO_LONG, 1);
        return EXIT_STATUS_FAILED;
    }

    char input_name[NAME_BUFFER_SIZE] = "";
    std::strcpy(input_name, argv[1]);
    os_file input = open_input_file(input_name);
    if (input == NO_FILE) {
        say(OPEN_ERROR, 1);
        return EXIT_STATUS_FAILED;
    }
    say(CONVERTING, 1);
    say(input_name, 2);

    char output_name[NAME_BUFFER_SIZE] = "";
    derive_output_name(input_name, output_name); // fits: the length was checked
    say(OUTPUTTING, 1);
    say(output_name, 2);

    extract_result result = write_listing(input, output_name);
    close_file(input);
    if (result == EXTRACT_OK)
        say(JOB_DONE, 1);
    else
        say(result == EXTRACT_READ_ERROR ? READ_ERROR : WRITE_ERROR, 1);
    wait_for_key();
    return result == EXTRACT_OK ? EXIT_STATUS_OK : EXIT_STATUS_FAILED;
}
