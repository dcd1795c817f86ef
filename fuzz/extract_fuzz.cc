// libFuzzer target: the block-fed conversion against a plain model of the
// listing rules, over any bytes cut into blocks of any sizes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tvk_hex.h"

namespace {

// The listing as the rules read: the input ends at 0x1A; lines end at LF,
// a CR right before the LF belongs to the line break; a line's text ends at
// its first NUL; everything after a line's ninth character is copied, and
// the copied characters are cut into lines of twelve.
std::string reference_listing(const std::string &file)
{
    std::string input = file.substr(0, file.find('\x1a'));
    std::string copied;
    std::size_t start = 0;
    while (start < input.size()) {
        std::size_t lf = input.find('\n', start);
        std::size_t end = lf == std::string::npos ? input.size() : lf;
        std::string line = input.substr(start, end - start);
        if (lf != std::string::npos && !line.empty() && line.back() == '\r')
            line.pop_back();
        line = line.substr(0, line.find('\0'));
        if (line.size() > 9)
            copied += line.substr(9);
        start = end + 1;
    }
    std::string listing = "AsmPrgm\r\n";
    int column = 0;
    for (char c : copied) {
        listing += c;
        if (++column == 12) {
            listing += "\r\n";
            column = 0;
        }
    }
    return listing;
}

// Feeds one block through a buffer of exactly the promised capacity, so
// that writing past it is a sanitizer report.
void convert_block(extract_state &state, const char *in, std::size_t n, std::string &listing)
{
    std::vector<char> out(listing_capacity(n));
    std::size_t written =
        n ? extract_block(state, in, n, out.data()) : extract_finish(state, out.data());
    if (written > out.size())
        std::abort();
    listing.append(out.data(), written);
}

} // namespace

// The first two bytes give the block sizes (1 to 256, taken in turn); the
// rest is the input file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t block_sizes[] = {data[0] + 1u, data[1] + 1u};
    std::string input(reinterpret_cast<const char *>(data) + 2, size - 2);

    extract_state state{};
    std::string listing = std::string(LISTING_HEADER) + "\r\n";
    for (std::size_t at = 0, k = 0; at < input.size(); ++k) {
        std::size_t n = std::min(block_sizes[k % 2], input.size() - at);
        convert_block(state, input.data() + at, n, listing);
        at += n;
    }
    convert_block(state, nullptr, 0, listing);

    if (listing != reference_listing(input)) {
        std::fprintf(stderr, "listing differs from the model\n");
        std::abort();
    }
    return 0;
}
