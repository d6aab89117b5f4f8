#!/usr/bin/env bash
# Runs run_wine_test.sh as an ordinary user when started as root: Wine lets root open any
# file for writing whatever its permissions, so tests of read-only files need a user that
# cannot. Not root already: runs it directly.
# Usage: run_as_test_user.sh WINE_TESTS.exe Velk_Game.exe [gtest args...]
set -eu
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if [ "$(id -u)" -ne 0 ]; then
  exec "$here/run_wine_test.sh" "$@"
fi
: "${DISPLAY:?run through the test command (DISPLAY is not set)}"
driver=$1 game=$2
shift 2
# shellcheck source=../../scripts/common.sh
. "$here/../../scripts/common.sh"
ensure_test_user
user=$TUMBLEWICK_TEST_USER
home=$(getent passwd "$user" | cut -d: -f6)

# Copies that the user can reach wherever the work tree lives.
work=$(mktemp -d "/tmp/tumblewick-$user.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$driver" "$game" "$here/run_wine_test.sh" "$repo/scripts/wine-prefix.sh" "$work/"
chmod 755 "$work"
chown -R "$user:" "$work"

as_user() {
  runuser -u "$user" -- env -i PATH="$PATH" HOME="$home" USER="$user" LOGNAME="$user" \
    DISPLAY="$DISPLAY" WINEPREFIX="$home/wine-prefix" WINEDLLOVERRIDES="$WINEDLLOVERRIDES" \
    TUMBLEWICK_LOCALE="$TUMBLEWICK_LOCALE" TUMBLEWICK_AS_TEST_USER=1 "$@"
}
# The user's own prefix, prepared once like the main one.
as_user "$work/wine-prefix.sh" "$home/wine-prefix"
as_user "$work/run_wine_test.sh" "$work/$(basename "$driver")" "$work/$(basename "$game")" "$@"
