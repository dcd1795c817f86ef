// Raw-hex extraction: every character after the nine-character record header
// of each input line, twelve to a listing line, every line break CR LF.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tvk_hex.h"

namespace {

constexpr unsigned char NUL = 0x00;
constexpr unsigned char LF = 0x0A;
constexpr unsigned char CR = 0x0D;
constexpr unsigned char END_MARK = 0x1A; // text-mode end of file
constexpr char LINE_BREAK[] = "\r\n";
constexpr std::size_t LINE_BREAK_CHARS = sizeof LINE_BREAK - 1;

// Appends n characters to the listing, a line break after every twelfth.
char *put_chars(extract_state &s, const char *p, std::size_t n, char *out)
{
    while (n > 0) {
        if (s.column == 0 && n >= DIGITS_PER_LISTING_LINE) { // a whole listing line
            std::memcpy(out, p, DIGITS_PER_LISTING_LINE);
            std::memcpy(out + DIGITS_PER_LISTING_LINE, LINE_BREAK, LINE_BREAK_CHARS);
            out += DIGITS_PER_LISTING_LINE + LINE_BREAK_CHARS;
            p += DIGITS_PER_LISTING_LINE;
            n -= DIGITS_PER_LISTING_LINE;
            continue;
        }
        std::size_t k = std::min<std::size_t>(n, DIGITS_PER_LISTING_LINE - s.column);
        std::memcpy(out, p, k);
        out += k;
        p += k;
        n -= k;
        s.column += static_cast<unsigned>(k);
        if (s.column == DIGITS_PER_LISTING_LINE) {
            std::memcpy(out, LINE_BREAK, LINE_BREAK_CHARS);
            out += LINE_BREAK_CHARS;
            s.column = 0;
        }
    }
    return out;
}

// Appends n characters of the current line, skipping what is still header.
char *copy_chars(extract_state &s, const char *p, std::size_t n, char *out)
{
    if (s.line_chars < RECORD_HEADER_CHARS) {
        std::size_t skip = std::min(n, RECORD_HEADER_CHARS - s.line_chars);
        s.line_chars += skip;
        p += skip;
        n -= skip;
    }
    return put_chars(s, p, n, out);
}

// Every byte above END_MARK is an ordinary character; this is the fast path.
// It looks at eight bytes at a time for one below END_MARK + 1.
std::size_t ordinary_run(const unsigned char *p, std::size_t n)
{
    constexpr std::uint64_t ONES = 0x0101010101010101u;
    constexpr std::uint64_t HIGH_BITS = 0x8080808080808080u;
    auto has_special = [p](std::size_t at) {
        std::uint64_t word;
        std::memcpy(&word, p + at, sizeof word);
        return ((word - ONES * (END_MARK + 1)) & ~word & HIGH_BITS) != 0;
    };
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8)
        if (has_special(i))
            break;
    if (i + 8 > n && n >= 8 && !has_special(n - 8)) // the last, overlapping word
        return n;
    while (i < n && p[i] > END_MARK)
        ++i;
    return i;
}

// Where the current line's LF, or an END_MARK before it, stands in in[i, n);
// n when neither does.
std::size_t line_end(const char *in, std::size_t i, std::size_t n)
{
    const char *lf = static_cast<const char *>(std::memchr(in + i, LF, n - i));
    std::size_t stop = lf ? static_cast<std::size_t>(lf - in) : n;
    const char *mark = static_cast<const char *>(std::memchr(in + i, END_MARK, stop - i));
    return mark ? static_cast<std::size_t>(mark - in) : stop;
}

} // namespace

std::size_t extract_block(extract_state &s, const char *in, std::size_t n, char *out)
{
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(in);
    char *o = out;
    std::size_t i = 0;
    while (i < n && !s.ended) {
        if (s.line_chars == 0 && !s.cr_pending && !s.line_cut) {
            // A whole line of ordinary characters, ended by LF or CR LF.
            const void *lf = std::memchr(in + i, LF, n - i);
            if (lf) {
                std::size_t length =
                    static_cast<std::size_t>(static_cast<const char *>(lf) - in) - i;
                std::size_t body = length > 0 && bytes[i + length - 1] == CR ? length - 1 : length;
                if (ordinary_run(bytes + i, body) == body) {
                    if (body > RECORD_HEADER_CHARS)
                        o = put_chars(s, in + i + RECORD_HEADER_CHARS, body - RECORD_HEADER_CHARS,
                                      o);
                    i += length + 1;
                    continue;
                }
            }
        }
        if (s.line_cut) { // nothing more of this line is copied: on to its end
            i = line_end(in, i, n);
            if (i == n)
                break;
        } else if (!s.cr_pending) {
            std::size_t run = ordinary_run(bytes + i, n - i);
            if (run > 0) {
                o = copy_chars(s, in + i, run, o);
                i += run;
                continue;
            }
        }
        unsigned char c = bytes[i++];
        if (c == END_MARK) {
            s.ended = true;
        } else if (c == LF) {
            s.line_chars = 0;
            s.cr_pending = false;
            s.line_cut = false;
        } else if (!s.line_cut) {
            if (s.cr_pending) { // not followed by LF: an ordinary character
                s.cr_pending = false;
                o = copy_chars(s, "\r", 1, o);
            }
            if (c == CR)
                s.cr_pending = true;
            else if (c == NUL)
                s.line_cut = true;
            else
                o = copy_chars(s, in + i - 1, 1, o);
        }
    }
    return static_cast<std::size_t>(o - out);
}

std::size_t extract_finish(extract_state &s, char *out)
{
    char *o = out;
    if (s.cr_pending) { // the input's last character
        s.cr_pending = false;
        o = copy_chars(s, "\r", 1, o);
    }
    s.ended = true;
    return static_cast<std::size_t>(o - out);
}

extract_result extract_raw_hex(os_file input, os_file output, std::size_t block_size)
{
    std::vector<char> in(block_size);
    std::vector<char> out(listing_capacity(block_size));
    std::string header = std::string(LISTING_HEADER) + LINE_BREAK;
    if (!write_file(output, header.data(), header.size()))
        return EXTRACT_WRITE_ERROR;

    extract_state state{};
    while (!state.ended) {
        std::ptrdiff_t got = read_file(input, in.data(), in.size());
        if (got < 0)
            return EXTRACT_READ_ERROR;
        if (got == 0)
            break;
        std::size_t n = extract_block(state, in.data(), static_cast<std::size_t>(got), out.data());
        if (!write_file(output, out.data(), n))
            return EXTRACT_WRITE_ERROR;
    }
    std::size_t n = extract_finish(state, out.data());
    return write_file(output, out.data(), n) ? EXTRACT_OK : EXTRACT_WRITE_ERROR;
}
