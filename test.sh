#!/usr/bin/env bash
# Builds tvk_hex twice, plain and under AddressSanitizer and
# UndefinedBehaviorSanitizer, warnings as errors, and runs every test in both;
# run as root, it also runs the plain build's tests as an ordinary user, for
# whom file permissions are not bypassed.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
cd "$root"
scripts/install-deps.sh

build_and_test() {
    cmake --preset "$1" -DTVK_WARNINGS_AS_ERRORS=ON
    cmake --build --preset "$1" -j "$(nproc)"
    ctest --preset "$1"
}

build_and_test default

if [ "$(id -u)" -eq 0 ] && command -v setpriv > /dev/null; then
    copy=$(mktemp -d)
    trap 'rm -rf "$copy"' EXIT
    cp build/default/tvk_hex build/default/tests/unit_tests build/default/tests/cli_tests "$copy"
    chmod 755 "$copy"
    for suite in unit_tests cli_tests; do
        (cd "$copy" && setpriv --reuid=65534 --regid=65534 --clear-groups \
            env TVK_HEX_EXE="$copy/tvk_hex" "./$suite" --gtest_brief=1)
    done
fi

build_and_test asan
