# Sourced by the packaging tests: a throw-away folder removed on every exit, a count of failed
# checks, and the end of a test.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
# finish WHAT: the test's last line and its exit status.
finish() {
    if ((failures > 0)); then
        echo "$1: $failures check(s) failed"
        exit 1
    fi
    echo "$1: all checks passed"
}
