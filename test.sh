#!/usr/bin/env bash
# Builds tvk_hex three ways and runs every test: for Windows (its unit tests,
# then its end-to-end tests under wine), natively with warnings as errors, and
# under AddressSanitizer and UndefinedBehaviorSanitizer; runs the fuzzers for
# a while; builds and tries the packages. Run as root, it also runs the native
# tests as an ordinary user, for whom permissions hold.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
cd "$root"
scripts/install-deps.sh

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A new wine prefix is made on first use; do it before anything is timed.
wine cmd /c exit < /dev/null > /dev/null 2>&1

build_and_test() {
    local preset=$1
    shift
    cmake --preset "$preset" -DTVK_WARNINGS_AS_ERRORS=ON "$@"
    cmake --build --preset "$preset" -j "$(nproc)"
    ctest --preset "$preset"
}

build_and_test windows
build_and_test default -DTVK_WINDOWS_EXE="$root/build/windows/tvk_hex.exe"

if [ "$(id -u)" -eq 0 ] && command -v setpriv > /dev/null; then
    copy=$(mktemp -d)
    trap 'rm -rf "$copy"' EXIT
    cp build/default/tvk_hex build/default/tests/unit_tests build/default/tests/cli_tests "$copy"
    chmod 755 "$copy"
    for suite in unit_tests cli_tests; do
        (cd "$copy" && setpriv --reuid=65534 --regid=65534 --clear-groups \
            env TVK_HEX_EXE="$copy/tvk_hex" HOME="$copy" "./$suite" --gtest_brief=1)
    done
fi

# Each fuzzer for TVK_FUZZ_SECONDS (60 by default).
scripts/fuzz.sh
# The .deb (checked with lintian, then run) and the Windows .zip.
scripts/package.sh

build_and_test asan
