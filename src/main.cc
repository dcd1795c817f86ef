// Entry point of tvk_hex.
#include "tvk_hex.h"

int main(int argc, char **argv)
{
    return run_converter(argc, argv);
}
