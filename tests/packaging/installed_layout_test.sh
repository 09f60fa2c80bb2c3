#!/usr/bin/env bash
# Installs the build tree into a throw-away prefix (as `cmake --install` and the Debian package
# do) and checks what a user of the installed program meets: the programs run with their helper,
# the manual pages render without warnings and name every switch, the shell completions load
# where each shell looks, the AppStream metainfo and desktop entry are valid, and the versions
# in the changelog, metainfo and manual pages are the program's.
#   installed_layout_test.sh BUILD_DIR [BINDIR HELPERDIR DATADIR]
set -euo pipefail

build=$1 bindir=${2:-bin} helperdir=${3:-libexec/kelvane} datadir=${4:-share/kelvane}
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
skip() { echo "skipped: $*"; }

# The folders the build installs into, relative to the prefix (KelvaneInstallPaths.cmake).
for folder in "$bindir" "$helperdir" "$datadir"; do
    if [[ $folder == /* ]]; then
        echo "skipped: the build installs into absolute folders, not below a prefix"
        exit 77
    fi
done

root="$tmp/root"
prefix="$root/usr"
cmake --install "$build" --prefix "$prefix" > "$tmp/install.log" ||
    { cat "$tmp/install.log"; exit 1; }
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" XDG_DATA_HOME="$tmp/home/.local/share"
mkdir -p "$HOME"

commands=(kelvane kelvane-batch kelvane-send)
if [[ -e /etc/debian_version ]]; then zsh_dir=share/zsh/vendor-completions; else zsh_dir=share/zsh/site-functions; fi
expected=("$helperdir/kelvane-engine" "$datadir/lang.txt"
    "$datadir/kelvane-batch-report.schema.json" share/applications/kelvane.desktop
    share/icons/hicolor/scalable/apps/kelvane.svg
    share/metainfo/example.mondavik.kelvane.metainfo.xml
    share/doc/kelvane/copyright share/doc/kelvane/changelog.gz share/lintian/overrides/kelvane)
for command in "${commands[@]}"; do
    expected+=("$bindir/$command" "share/man/man1/$command.1.gz"
        "share/bash-completion/completions/$command" "$zsh_dir/_$command"
        "share/fish/vendor_completions.d/$command.fish")
done
for file in "${expected[@]}"; do
    [[ -f $prefix/$file ]] || fail "not installed: $file"
done

# The installed kelvane-batch finds its helper where it was installed and its settings in the
# home folder; the window program answers --help and --version without a display.
version=$("$prefix/$bindir/kelvane-batch" --version | awk '{print $2}')
mkdir "$tmp/pages"
printf '<title>x</title>\n<p><blink2>x</blink2>\n' > "$tmp/pages/page.html"
status=0
"$prefix/$bindir/kelvane-batch" validate -q "$tmp/pages/page.html" > "$tmp/report.txt" 2>&1 || status=$?
grep -q 'page.html:2:[0-9]*: error: <blink2> is not recognized!' "$tmp/report.txt" && ((status == 1)) ||
    { fail "the installed kelvane-batch did not validate (status $status):"; cat "$tmp/report.txt"; }
[[ ! -e $prefix/$bindir/Settings.ini ]] || fail "the installed kelvane-batch keeps its settings beside itself"
[[ $(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/$bindir/kelvane" --version) == "kelvane $version" ]] ||
    fail "kelvane --version does not say kelvane $version"

# Manual pages: no warnings from groff, the usual sections, every switch that --help names.
for command in "${commands[@]}"; do
    page="$prefix/share/man/man1/$command.1.gz"
    [[ -f $page ]] || continue
    if ! MANWIDTH=80 man --warnings -l "$page" > "$tmp/page.txt" 2> "$tmp/warnings.txt" ||
        [[ -s $tmp/warnings.txt ]]; then
        fail "$command(1) renders with warnings:"
        cat "$tmp/warnings.txt"
    fi
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES "SEE ALSO"; do
        grep -q "^$section\$" "$tmp/page.txt" || fail "$command(1) has no $section section"
    done
    gzip -dc "$page" > "$tmp/page.roff"
    grep -q "^\.TH \"$command\" \"1\" .*\"Kelvane $version\"" "$tmp/page.roff" ||
        fail "$command(1) does not carry version $version: $(grep '^\.TH' "$tmp/page.roff")"
    mapfile -t switches < <(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/$bindir/$command" --help |
        grep -oE '(^| )--?[A-Za-z0-9?][-A-Za-z0-9]*' | sed 's/^ //' | sort -u)
    ((${#switches[@]} >= 4)) || fail "found only ${#switches[@]} switches in $command --help"
    for switch in "${switches[@]}"; do
        grep -qF -- "$switch" "$tmp/page.roff" || fail "$command(1) does not describe $switch"
    done
done

# Versions: the changelog's newest entry and the metainfo's newest release are this version.
gzip -dc "$prefix/share/doc/kelvane/changelog.gz" | head -1 | grep -q "^kelvane ($version) " ||
    fail "the changelog's newest entry is not $version"
grep -m1 '<release ' "$prefix/share/metainfo/example.mondavik.kelvane.metainfo.xml" |
    grep -q "version=\"$version\"" || fail "the metainfo's newest release is not $version"

# AppStream and the desktop entry.
if command -v appstreamcli > /dev/null; then
    appstreamcli validate-tree --no-net "$root" > "$tmp/appstream.txt" 2>&1 ||
        { fail "appstreamcli validate-tree:"; cat "$tmp/appstream.txt"; }
    appstreamcli validate --no-net --pedantic \
        "$prefix/share/metainfo/example.mondavik.kelvane.metainfo.xml" > "$tmp/appstream.txt" 2>&1 ||
        { fail "appstreamcli validate:"; cat "$tmp/appstream.txt"; }
else
    skip "appstreamcli is not installed (Debian package appstream)"
fi
# Opening pages is the entry's job; offering it as a handler of folders would put it among
# the file managers for every folder the desktop opens.
grep -E '^MimeType=(.*;)?inode/directory(;|$)' "$prefix/share/applications/kelvane.desktop" &&
    fail "kelvane.desktop offers Kelvane as a handler of folders"
if command -v desktop-file-validate > /dev/null; then
    desktop-file-validate "$prefix/share/applications/kelvane.desktop" ||
        fail "desktop-file-validate kelvane.desktop"
else
    skip "desktop-file-validate is not installed (Debian package desktop-file-utils)"
fi

# Shell completions, loaded the way each shell finds them.
mkdir "$tmp/cwd" "$tmp/cwd/site" && touch "$tmp/cwd/site.html" "$tmp/cwd/list.txt"
cd "$tmp/cwd"
export PATH="$prefix/$bindir:$PATH"
if [[ -f /usr/share/bash-completion/bash_completion ]]; then
    XDG_DATA_DIRS="$prefix/share" bash --norc --noprofile > "$tmp/bash.txt" 2>&1 <<'BASH' || true
source /usr/share/bash-completion/bash_completion
for command in kelvane kelvane-batch kelvane-send; do
    __load_completion "$command" || echo "FAIL: no completion loaded for $command"
done
# complete WORD...: the words as bash splits the line, the last one being completed.
complete() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_LINE=${COMP_LINE// = /=}
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    local function
    function=$(builtin complete -p "$1" | sed -n 's/.*-F \([^ ]*\) .*/\1/p')
    "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' '
}
expect() {
    local wanted=$1 got
    shift
    got=$(complete "$@")
    [[ $got == "$wanted" ]] || echo "FAIL: bash completes [$*] to [$got], expected [$wanted]"
}
expect "clean restore tidy validate " kelvane-batch ""
expect "validate " kelvane-batch va
expect "json sarif text " kelvane-batch tidy --format ""
expect "json " kelvane-batch tidy --format = j
expect "--check " kelvane-batch tidy --ch
expect "" kelvane-batch validate --ch
expect "--baseline " kelvane-batch validate --bas
expect "" kelvane-batch restore --bas
expect "validate " kelvane-batch --mute MISSING_DOCTYPE va
expect "site site.html " kelvane-batch validate --tidy-config si
expect "--cache --cache-location --cache-strategy " kelvane-batch validate --cache
expect "" kelvane-batch restore --cache
expect "content metadata " kelvane-batch validate --cache-strategy ""
expect "validate " kelvane-batch -rm "*.html" va
expect "site site.html " kelvane-batch tidy -r si
expect "- list.txt site site.html " kelvane-batch --files-from ""
expect "--help --version -X -h -t -v " kelvane -
expect "site site.html " kelvane -t si
expect "--help " kelvane-send --he
BASH
    if grep FAIL "$tmp/bash.txt"; then failures=$((failures + 1)); fi
else
    skip "bash-completion is not installed"
fi
if command -v zsh > /dev/null; then
    comps=$(zsh -fc "fpath=($prefix/$zsh_dir \$fpath); autoload -Uz compinit; compinit -u -D;
        print -r -- \$_comps[kelvane] \$_comps[kelvane-batch] \$_comps[kelvane-send]" 2>&1)
    [[ $comps == "_kelvane _kelvane-batch _kelvane-send" ]] || fail "zsh completions: [$comps]"
else
    skip "zsh is not installed"
fi
if command -v fish > /dev/null; then
    got=$(XDG_DATA_DIRS="$prefix/share" fish -c 'complete -C "kelvane-batch "; complete -C "kelvane-batch tidy --format "' |
        cut -f1 | tr '\n' ' ')
    [[ $got == "clean restore tidy validate json sarif text " ]] || fail "fish completions: [$got]"
else
    skip "fish is not installed"
fi

finish "installed layout"
