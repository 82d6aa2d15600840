#!/usr/bin/env bash
# Installs a built tree into a scratch prefix and checks what a desktop and a
# user rely on: one program folder holding the executable and its help page, a
# launcher on the PATH that leads there, a valid desktop entry for JPEG files
# and its icon.
# Usage: test_install.sh BUILD_DIR
set -uo pipefail

build=${1:?usage: test_install.sh BUILD_DIR}
prefix=$(mktemp -d /tmp/fotavi-install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT

passed=0
failed=0
check() {
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "PASS: $what"
    else
        failed=$((failed + 1))
        echo "FAIL: $what"
    fi
}

if ! cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1; then
    cat "$prefix.log"
    rm -f "$prefix.log"
    echo "FAIL: cmake --install"
    echo "0 passed, 1 failed"
    exit 1
fi
rm -f "$prefix.log"

program_dir=$prefix/lib/fotavi
launcher=$prefix/bin/fotavi
desktop=$prefix/share/applications/fotavi.desktop
html=$program_dir/Mirabo.html

check "help page beside the executable in the build folder" test -f "$build/Mirabo.html" -a -x "$build/fotavi"
check "executable in the program folder" test -f "$program_dir/fotavi" -a -x "$program_dir/fotavi"
check "help page in the program folder" test -f "$html"
# The program writes its settings into its own folder; a shipped one would
# hand every user the builder's settings.
check "no settings file shipped" test ! -e "$program_dir/def_list.txt"
check "launcher on the PATH is executable" test -x "$launcher"
check "launcher leads to the program folder" \
    test "$(readlink -f "$launcher")" = "$(readlink -f "$program_dir/fotavi")"
# Absolute links break when the tree is moved (a package is built in a
# staging folder and unpacked under /usr).
link_is_relative() { [[ ! -L "$launcher" || "$(readlink "$launcher")" != /* ]]; }
check "launcher link is relative" link_is_relative
libraries_found() { ! ldd "$program_dir/fotavi" | grep -q 'not found'; }
check "installed executable finds its libraries" libraries_found

check "help page is UTF-8" iconv -f UTF-8 -t UTF-8 -o /dev/null "$html"
check "help page declares its character set" grep -qi '<meta charset="utf-8">' "$html"
no_external() { ! grep -Eqi '(src|href)="(https?:)?//' "$html"; }
check "help page loads nothing from elsewhere" no_external
same_as_source() { cmp -s "$html" "$(dirname "${BASH_SOURCE[0]}")/../docs/Mirabo.html"; }
check "installed help page is the current one" same_as_source

check "desktop entry installed" test -f "$desktop"
if command -v desktop-file-validate >/dev/null; then
    check "desktop entry passes desktop-file-validate" desktop-file-validate "$desktop"
else
    echo "SKIP: desktop-file-validate is not installed"
fi
entry() { grep -E "^$1=" "$desktop" | head -n1 | cut -d= -f2-; }
mime_jpeg() { [[ ";$(entry MimeType)" == *";image/jpeg;"* ]]; }
check "desktop entry opens JPEG files" mime_jpeg
exec_takes_file() { [[ "$(entry Exec)" =~ ^fotavi\ .*%[fF] ]]; }
check "desktop entry runs the launcher with the file" exec_takes_file
icon_installed() { test -f "$prefix/share/icons/hicolor/256x256/apps/$(entry Icon).png"; }
check "desktop entry's icon is installed" icon_installed
icon_size() { file "$prefix/share/icons/hicolor/256x256/apps/fotavi.png" | grep -q '256 x 256'; }
if command -v file >/dev/null; then
    check "icon is 256x256" icon_size
fi

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
