#!/usr/bin/env bash
# Checks each program's command line as an operator meets it, with no display: --help prints the
# usage, options and files and exits 0; --version prints "<name> <version>" and exits 0; an unknown
# option prints the usage on standard error and exits 2. None of them may open a socket or create a
# file (the working directory and the home folder stay empty).
#   scripts/check-command-lines.sh <bin dir> <version> <program>...
set -euo pipefail
bin=$(realpath "$1")
version=$2
shift 2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/cwd" "$work/home"
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# run <program> <args...>: runs it with no display in an empty folder and home, recording its
# output, status and socket calls.
run() {
    local program=$1
    shift
    (cd "$work/cwd" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work/home" \
        XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config" \
        strace -f -qq -e trace=socket,connect,bind -o "$work/trace" "$bin/$program" "$@" \
        >"$work/out" 2>"$work/err") && status=0 || status=$?
    if grep -q -E '^[0-9]+ +(socket|connect|bind)\(' "$work/trace"; then
        fail "$program $*: used the network: $(grep -m1 -E '(socket|connect|bind)\(' "$work/trace")"
    fi
    local created
    created=$(find "$work/cwd" "$work/home" -mindepth 1)
    if [ -n "$created" ]; then
        fail "$program $*: created $(echo "$created" | tr '\n' ' ')"
        rm -rf "$work/cwd" "$work/home"
        mkdir "$work/cwd" "$work/home"
    fi
}

for program in "$@"; do
    run "$program" --help
    [ "$status" -eq 0 ] || fail "$program --help: status $status"
    grep -q -i '^usage: ' "$work/out" || fail "$program --help: no usage line"
    grep -q -e '--version' "$work/out" || fail "$program --help: does not list --version"
    grep -q -i '^files:' "$work/out" || fail "$program --help: does not say which files it uses"
    [ ! -s "$work/err" ] || fail "$program --help: wrote to standard error: $(head -c 300 "$work/err")"

    run "$program" --version
    [ "$status" -eq 0 ] || fail "$program --version: status $status"
    [ "$(cat "$work/out")" = "$program $version" ] ||
        fail "$program --version: '$(head -c 100 "$work/out")', not '$program $version'"
    [ ! -s "$work/err" ] || fail "$program --version: wrote to standard error: $(head -c 300 "$work/err")"

    run "$program" --no-such-option
    [ "$status" -eq 2 ] || fail "$program --no-such-option: status $status, not 2"
    [ ! -s "$work/out" ] || fail "$program --no-such-option: wrote to standard output"
    grep -q -e '--no-such-option' "$work/err" || fail "$program --no-such-option: does not name the option"
    grep -q -i 'usage: ' "$work/err" || fail "$program --no-such-option: no usage on standard error"
done

echo "command lines: $# programs, $failures failures"
[ "$failures" -eq 0 ]
