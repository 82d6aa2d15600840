#!/usr/bin/env bash
# Installs a built tree as the package does (prefix /usr, into a scratch
# DESTDIR) and checks what a desktop and a user rely on: one program folder
# holding the executable, its help page and the mark that it is installed; a
# launcher on the PATH; a valid desktop entry, icons, AppStream metadata and
# manual pages. Then it runs the installed program on a virtual screen through
# start-up and exit, as root when the tests run as root, and checks that it
# wrote nothing under the prefix and kept its settings in XDG_CONFIG_HOME.
# Usage: test_install.sh BUILD_DIR
set -uo pipefail

build=${1:?usage: test_install.sh BUILD_DIR}
source_dir=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/..
work=$(mktemp -d /tmp/fotavi-install.XXXXXX)
trap 'rm -rf "$work"' EXIT

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
skip() { echo "SKIP: $1"; }

root=$work/root
if ! DESTDIR=$root cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi
prefix=$root/usr
program_dir=$prefix/lib/fotavi
launcher=$prefix/bin/fotavi
html=$program_dir/Mirabo.html
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")

check "help page beside the executable in the build folder" test -f "$build/Mirabo.html" -a -x "$build/fotavi"
check "executable in the program folder" test -f "$program_dir/fotavi" -a -x "$program_dir/fotavi"
check "help page in the program folder" test -f "$html"
# A shipped settings file would hand every user the builder's settings.
check "no settings file shipped" test ! -e "$program_dir/def_list.txt"
check "program folder marked as installed" test -f "$program_dir/installed"
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
check "installed help page is the current one" cmp -s "$html" "$source_dir/docs/Mirabo.html"

# Desktop entry, icons and metainfo are all named after the application id.
desktops=("$prefix"/share/applications/*.desktop)
desktop=${desktops[0]}
app_id=$(basename "$desktop" .desktop)
check "one desktop entry installed" test ${#desktops[@]} -eq 1 -a -f "$desktop"
reverse_dns() { [[ "$app_id" =~ ^[a-z0-9]+(\.[a-z0-9_]+){2,}$ ]]; }
check "application id is reverse-DNS ($app_id)" reverse_dns
if command -v desktop-file-validate >/dev/null; then
    validate_silent() { [[ -z "$(desktop-file-validate "$desktop" 2>&1)" ]]; }
    check "desktop-file-validate says nothing" validate_silent
else
    skip "desktop-file-validate is not installed"
fi
entry() { grep -E "^$1=" "$desktop" | head -n1 | cut -d= -f2-; }
mime_jpeg() { [[ ";$(entry MimeType)" == *";image/jpeg;"* ]]; }
check "desktop entry opens JPEG files" mime_jpeg
exec_takes_file() { [[ "$(entry Exec)" =~ ^fotavi\ .*%[fF] ]]; }
check "desktop entry runs the launcher with the file" exec_takes_file
has_entries() {
    local key
    for key in Name 'Name\[ja\]' GenericName 'GenericName\[ja\]' Comment 'Comment\[ja\]' \
        Keywords 'Keywords\[ja\]' StartupWMClass; do
        [[ -n "$(entry "$key")" ]] || return 1
    done
}
check "desktop entry has names, comments and keywords in English and Japanese" has_entries
check "desktop entry's icon is the application id" test "$(entry Icon)" = "$app_id"
icon_sizes() {
    local size
    for size in 16 22 24 32 48 64 128 256; do
        file "$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png" |
            grep -q "PNG image data, $size x $size," || return 1
    done
    grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$app_id.svg"
}
if command -v file >/dev/null; then
    check "icons from 16 to 256 pixels and scalable" icon_sizes
else
    skip "file is not installed"
fi
metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
check "AppStream metadata installed" test -f "$metainfo"
if command -v appstreamcli >/dev/null; then
    # The screenshot and home page are on the network; their check is left out.
    tree_valid() { appstreamcli validate-tree --pedantic --no-net "$root" >"$work/appstream" 2>&1 ||
        { cat "$work/appstream"; false; }; }
    check "appstreamcli validate-tree --pedantic passes" tree_valid
else
    skip "appstreamcli is not installed"
fi
newest_release() { grep -o '<release version="[^"]*"' "$metainfo" | head -n1 | cut -d'"' -f2; }
check "metadata's newest release is $version" test "$(newest_release)" = "$version"
changelog_version() { gzip -dc "$prefix/share/doc/fotavi/changelog.gz" | head -n1 | grep -q "^fotavi ($version) "; }
check "changelog's newest entry is $version" changelog_version
check "copyright file installed" grep -q '^License: ' "$prefix/share/doc/fotavi/copyright"
if command -v man >/dev/null; then
    man_clean() {
        local page
        for page in man1/fotavi.1.gz ja/man1/fotavi.1.gz; do
            [[ -z "$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$prefix/share/man/$page" 2>&1 >/dev/null)" ]] ||
                return 1
        done
    }
    check "manual pages in English and Japanese render without warnings" man_clean
else
    skip "man is not installed"
fi

# The installed program, run as whoever runs the tests (root in CI, who could
# write anywhere): start-up with a picture folder, then 終了 from the ファイル
# menu, which writes the settings.
run_installed() {
    mkdir -p "$work/home" "$work/config" "$work/state" "$work/album" "$work/runtime"
    chmod 700 "$work/runtime"
    cp "$source_dir"/samples/album/DSC000[12].JPG "$work/album/"
    before=$(find "$root" -printf '%P %y %s %T@ %m\n' | sort)
    # shellcheck disable=SC2016  # the inner script gets its values as arguments
    (cd "$work" && env HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
        XDG_DATA_HOME="$work/home/data" XDG_CACHE_HOME="$work/home/cache" XDG_RUNTIME_DIR="$work/runtime" \
        QT_QPA_PLATFORM=xcb xvfb-run -a bash -c '
        "$1" "$2" >"$3/output" 2>&1 &
        pid=$!
        window=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" | head -n1)
        if [[ -z "$window" ]]; then
            kill "$pid"
            echo "no window appeared" >"$3/ended"
            exit 0
        fi
        xprop -id "$window" WM_CLASS >"$3/wm_class"
        for _ in 1 2 3; do
            timeout 5 xdotool windowfocus --sync "$window"
            xdotool key --clearmodifiers alt+f
            sleep 0.5
            xdotool key e
            for _ in $(seq 50); do
                kill -0 "$pid" 2>/dev/null || break
                sleep 0.1
            done
            kill -0 "$pid" 2>/dev/null || break
            xdotool key Escape
        done
        if kill -0 "$pid" 2>/dev/null; then
            kill "$pid"
            echo "did not end from the menu" >"$3/ended"
        else
            wait "$pid"
            echo "status $?" >"$3/ended"
        fi
    ' run-installed "$launcher" "$work/album/DSC0001.JPG" "$work")
    ended=$(cat "$work/ended" 2>/dev/null)
    ended_well() { [[ "$ended" == "status 0" ]] || { echo "the program: $ended"; cat "$work/output"; false; }; }
    check "installed program starts and ends from its menu" ended_well
    after=$(find "$root" -printf '%P %y %s %T@ %m\n' | sort)
    nothing_written() { [[ "$before" == "$after" ]] || { diff <(echo "$before") <(echo "$after"); false; }; }
    check "installed program wrote nothing under the prefix" nothing_written
    check "settings written to XDG_CONFIG_HOME/fotavi" test -f "$work/config/fotavi/def_list.txt"
    wm_class_matches() { grep -q "\"$(entry StartupWMClass)\"\$" "$work/wm_class"; }
    check "StartupWMClass is the window's class" wm_class_matches
}
if command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && command -v xprop >/dev/null; then
    run_installed
else
    skip "xvfb-run, xdotool or xprop is not installed: the installed program is not run"
fi

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
