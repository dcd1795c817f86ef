#include <gtest/gtest.h>

#include <string>

#include "tvk_hex.h"

namespace {

struct naming_case {
    std::string input;
    std::string output;
};

TEST(DeriveOutputName, DropsLastFourCharactersAndAppendsSuffix)
{
    const naming_case cases[] = {
        {"prog.hex", "prog_83p.hex"},
        {"PROG.HEX", "PROG_83p.hex"}, // case is left alone
        {"prog.ihx", "prog_83p.hex"}, // the extension is not examined
        {"program", "pro_83p.hex"},   // no dot needed
        {"a.hex", "a_83p.hex"},
        {".hex", "_83p.hex"},
        {"abc", "_83p.hex"},
        {"", "_83p.hex"},
        {"work\\prog.hex", "work\\prog_83p.hex"},
        {"dir/sub/prog.hex", "dir/sub/prog_83p.hex"},
        {"ab/c.d", "ab_83p.hex"},             // a separator among the four goes too
        {"prog_83p.hex", "prog_83p_83p.hex"}, // never the input's own name
        {"my prog.hex", "my prog_83p.hex"},
    };
    for (const naming_case &c : cases) {
        char output[NAME_BUFFER_SIZE] = "unchanged";
        EXPECT_TRUE(derive_output_name(c.input.c_str(), output)) << c.input;
        EXPECT_EQ(output, c.output) << c.input;
    }
}

TEST(DeriveOutputName, LongestNameFillsTheBufferAndOneMoreIsRefused)
{
    std::string longest(MAX_INPUT_NAME_CHARS, 'n');
    char output[NAME_BUFFER_SIZE];
    ASSERT_TRUE(derive_output_name(longest.c_str(), output));
    EXPECT_EQ(std::string(output), longest.substr(0, longest.size() - 4) + "_83p.hex");
    EXPECT_EQ(std::string(output).size(), NAME_BUFFER_SIZE - 1);

    for (std::size_t length : {MAX_INPUT_NAME_CHARS + 1, NAME_BUFFER_SIZE, std::size_t{4000}}) {
        std::string too_long(length, 'n');
        EXPECT_FALSE(derive_output_name(too_long.c_str(), output)) << length;
        EXPECT_STREQ(output, "") << length;
    }
}

} // namespace
