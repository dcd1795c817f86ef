// Output file naming: the listing is named after the input file.
#include <cstring>

#include "tvk_hex.h"

bool derive_output_name(const char *input_name, char *output_name)
{
    // The last four characters go whatever they are; no extension is looked for.
    std::size_t n = std::strlen(input_name);
    std::size_t kept = n > STRIPPED_NAME_CHARS ? n - STRIPPED_NAME_CHARS : 0;
    if (kept + OUTPUT_NAME_SUFFIX_CHARS >= NAME_BUFFER_SIZE) {
        output_name[0] = '\0';
        return false;
    }
    std::memcpy(output_name, input_name, kept);
    std::memcpy(output_name + kept, OUTPUT_NAME_SUFFIX, OUTPUT_NAME_SUFFIX_CHARS + 1);
    return true;
}
