#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tvk_hex.h"

namespace {

const std::string HEADER = "AsmPrgm\r\n";
// Two 16-byte data records and the end-of-file record.
const std::string REC1 = ":10010000214601360121470136007EFE09D2190140";
const std::string REC2 = ":100110002146017E17C20001FF5F16002148011928";
const std::string END = ":00000001FF";
const std::string TWO_RECORDS_LISTING = HEADER + "214601360121\r\n"
                                                 "470136007EFE\r\n"
                                                 "09D219014021\r\n"
                                                 "46017E17C200\r\n"
                                                 "01FF5F160021\r\n"
                                                 "48011928FF";

// Block sizes that put every kind of byte at a block edge somewhere.
const std::size_t BLOCK_SIZES[] = {1, 2, 3, 5, 7, 11, 64, READ_BLOCK_SIZE};

class ExtractRawHex : public ::testing::Test {
  protected:
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              ("tvk_extract_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Converts input through real files, block_size bytes at a time.
    std::string convert(const std::string &input, std::size_t block_size)
    {
        std::string in_name = (dir / "in.hex").string();
        std::string out_name = (dir / "in_83p.hex").string();
        std::ofstream(in_name, std::ios::binary)
            .write(input.data(), static_cast<std::streamsize>(input.size()));
        os_file in = open_input_file(in_name.c_str());
        char temp_name[TEMP_NAME_SIZE];
        os_file out = create_temp_listing(out_name.c_str(), temp_name);
        EXPECT_NE(in, NO_FILE);
        EXPECT_NE(out, NO_FILE);
        EXPECT_EQ(extract_raw_hex(in, out, block_size), EXTRACT_OK);
        EXPECT_TRUE(close_file(out));
        EXPECT_TRUE(close_file(in));
        EXPECT_TRUE(commit_temp_listing(temp_name, out_name.c_str()));
        std::ostringstream listing;
        listing << std::ifstream(out_name, std::ios::binary).rdbuf();
        return listing.str();
    }

    std::filesystem::path dir;
};

// The listing of the given copied characters, cut every twelve.
std::string listing_of(const std::string &copied)
{
    std::string listing = HEADER;
    for (std::size_t i = 0; i < copied.size(); i += 12) {
        listing += copied.substr(i, 12);
        if (i + 12 <= copied.size())
            listing += "\r\n";
    }
    return listing;
}

struct extract_case {
    const char *what;
    std::string input;
    std::string listing;
};

TEST_F(ExtractRawHex, GivesTheExactListingWhateverTheBlockSize)
{
    const std::string h = "123456789"; // a nine-character header
    const extract_case cases[] = {
        {"empty input", "", HEADER},
        {"records, CR LF", REC1 + "\r\n" + REC2 + "\r\n" + END + "\r\n", TWO_RECORDS_LISTING},
        {"records, no last line break", REC1 + "\r\n" + REC2 + "\r\n" + END, TWO_RECORDS_LISTING},
        {"records, LF", REC1 + "\n" + REC2 + "\n" + END + "\n", TWO_RECORDS_LISTING},
        {"one 16-byte record", REC1 + "\r\n", listing_of("214601360121470136007EFE09D2190140")},
        {"end-of-file record alone", END + "\r\n", HEADER + "FF"},
        {"a multiple of twelve ends with a line break", h + "ABCDEFGHIJKL\r\n",
         HEADER + "ABCDEFGHIJKL\r\n"},
        {"short and empty lines copy nothing and keep the column",
         h + "ABCDE\r\n\r\n\n:1234\r\n" + h + "\r\n" + h + "FGHIJKLM\n",
         HEADER + "ABCDEFGHIJKL\r\nM"},
        {"lone CR is an ordinary character", h + "A\rB\r\n", listing_of("A\rB")},
        {"CR CR LF keeps the first CR", h + "A\r\r\n", listing_of("A\r")},
        {"CR as the last byte", h + "A\r", listing_of("A\r")},
        {"CR in the header counts", "12345678\rAB\n", listing_of("AB")},
        {"CR before the end mark",
         h + "A\r\x1a"
             "B",
         listing_of("A\r")},
        {"end mark mid-line ends the input",
         h +
             "AB\x1a"
             "CD\r\n" +
             REC1 + "\r\n",
         listing_of("AB")},
        {"end mark in the header",
         "123\x1a"
         "456789AB\r\n",
         HEADER},
        {"NUL cuts the rest of its line only",
         h + "AB" + std::string(1, '\0') + "CD\r\n" + h + "EF\n", listing_of("ABEF")},
        {"NUL in the header", "12" + std::string(1, '\0') + "456789AB\r\n" + h + "C",
         listing_of("C")},
        {"end mark after a NUL still ends the input",
         h + "A" + std::string(1, '\0') + "B\x1a\n" + h + "C\n", listing_of("A")},
        {"a CR after a NUL is not copied", h + "A" + std::string(1, '\0') + "\r\r\n",
         listing_of("A")},
        {"120-character line keeps everything after its header", h + std::string(111, 'x') + "\r\n",
         listing_of(std::string(111, 'x'))},
        {"100-character line", h + std::string(91, 'y') + "\n" + h + "z\n",
         listing_of(std::string(91, 'y') + "z")},
        {"300-character record", ":" + std::string(299, '7') + "\r\n",
         listing_of(std::string(291, '7'))},
        {"high bytes, lowercase, blanks and controls are copied",
         h + "\x80\xff ab\tc\x01\x19"
             "d\r\n",
         listing_of("\x80\xff ab\tc\x01\x19"
                    "d")},
        {"leading blanks are part of the header", "  :100000" + std::string("0102\r\n"),
         listing_of("0102")},
    };
    for (const extract_case &c : cases)
        for (std::size_t block_size : BLOCK_SIZES)
            EXPECT_EQ(convert(c.input, block_size), c.listing)
                << c.what << ", block size " << block_size;
}

TEST_F(ExtractRawHex, StopsReadingAtTheEndMark)
{
    // Whatever follows 0x1A is never read, however long it is.
    std::string input = REC1 + "\r\n\x1a" + std::string(3 * READ_BLOCK_SIZE, 'q');
    EXPECT_EQ(convert(input, READ_BLOCK_SIZE), listing_of("214601360121470136007EFE09D2190140"));
}

TEST(ExtractBlock, NeverWritesMoreThanItsCapacity)
{
    // A CR left over from the previous block plus a block of ordinary characters
    // is the most one block can produce.
    for (std::size_t column_before = 0; column_before < DIGITS_PER_LISTING_LINE; ++column_before)
        for (std::size_t n : std::initializer_list<std::size_t>{1, 11, 12, 13, 100}) {
            extract_state state{};
            state.line_chars = RECORD_HEADER_CHARS;
            state.column = static_cast<unsigned>(column_before);
            state.cr_pending = true;
            std::string in(n, 'A');
            std::string out(listing_capacity(n) + 16, '#');
            std::size_t written = extract_block(state, in.data(), n, out.data());
            EXPECT_LE(written, listing_capacity(n)) << column_before << " " << n;
            EXPECT_EQ(written, n + 1 + 2 * ((column_before + n + 1) / 12))
                << column_before << " " << n;
        }
}

} // namespace
