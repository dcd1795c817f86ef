// libFuzzer target: the listing's name for any input name, against the rule
// written out plainly.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "tvk_hex.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // A name as a program receives it: the bytes up to the first NUL.
    std::string name(reinterpret_cast<const char *>(data), size);
    name = name.substr(0, name.find('\0'));

    // Heap buffers of the exact size, so that any overrun is reported.
    std::unique_ptr<char[]> output(new char[NAME_BUFFER_SIZE]);
    std::memset(output.get(), '#', NAME_BUFFER_SIZE);
    bool fits = derive_output_name(name.c_str(), output.get());

    // The last four characters dropped, "_83p.hex" added; over 496
    // characters the result would not fit 500.
    std::string expected = (name.size() > 4 ? name.substr(0, name.size() - 4) : "") + "_83p.hex";
    bool expected_fits = name.size() <= 496;
    if (fits != expected_fits || std::string(output.get()) != (fits ? expected : "")) {
        std::fprintf(stderr, "name differs from the rule\n");
        std::abort();
    }
    return 0;
}
