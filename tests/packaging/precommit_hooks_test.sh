#!/usr/bin/env bash
# Runs the repository's pre-commit hooks through the pre-commit framework, as a project that
# uses them would, in a throw-away git repository, with the build tree's kelvane-batch first on
# PATH. Exit 77 (skipped) when pre-commit or git is not installed.
#   precommit_hooks_test.sh SOURCE_DIR BIN_DIR
set -euo pipefail

source_dir=$1
bin_dir=$2
for tool in pre-commit git; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (Debian package $tool; scripts/install-deps installs it)"
        exit 77
    fi
done

source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

# The program and its helper linked into a folder of their own, so that the settings file
# beside them starts empty (HTML Tidy's defaults) whatever other tests left in the build tree.
mkdir "$tmp/bin"
for program in kelvane-batch kelvane-engine; do
    ln "$bin_dir/$program" "$tmp/bin/$program" 2>/dev/null || cp "$bin_dir/$program" "$tmp/bin/"
done
export PATH="$tmp/bin:$PATH"
export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config" PRE_COMMIT_HOME="$tmp/pre-commit"
export GIT_CONFIG_NOSYSTEM=1 GIT_AUTHOR_NAME=Test GIT_AUTHOR_EMAIL=test@localhost
export GIT_COMMITTER_NAME=Test GIT_COMMITTER_EMAIL=test@localhost
mkdir -p "$HOME"
git config --global init.defaultBranch main
git config --global advice.detachedHead false

# The hooks as published: a repository holding this tree's .pre-commit-hooks.yaml.
git init -q "$tmp/hooks"
cp "$source_dir/.pre-commit-hooks.yaml" "$tmp/hooks/"
git -C "$tmp/hooks" add .pre-commit-hooks.yaml
git -C "$tmp/hooks" commit -q -m hooks
rev=$(git -C "$tmp/hooks" rev-parse HEAD)

site="$tmp/site"
git init -q "$site"
cd "$site"
cat > .pre-commit-config.yaml <<YAML
repos:
  - repo: $tmp/hooks
    rev: $rev
    hooks:
      - id: kelvane-validate
      - id: kelvane-check
YAML
git add .pre-commit-config.yaml
git commit -q -m config

# run NAME EXPECTED-STATUS HOOK...: runs the hooks on what is staged.
run() {
    local name=$1 expected=$2 status=0
    shift 2
    pre-commit run "$@" > "$tmp/out.txt" 2>&1 || status=$?
    if [[ $status != "$expected" ]]; then
        fail "$name: pre-commit ended with $status, expected $expected"
        sed 's/^/    /' "$tmp/out.txt"
    fi
}
expect_output() {
    local name=$1 pattern=$2
    grep -qE -- "$pattern" "$tmp/out.txt" || { fail "$name: no line matches '$pattern'"; sed 's/^/    /' "$tmp/out.txt"; }
}

# A page as tidying leaves it, made by the program itself (with its default options).
mkdir "$tmp/scratch"
printf '<title>Tidy</title>\n<p>Already tidy\n' > "$tmp/scratch/tidy.html"
kelvane-batch tidy -q "$tmp/scratch/tidy.html" > /dev/null
cp "$tmp/scratch/tidy.html" tidy.html
git add tidy.html
run "tidy page" 0
expect_output "tidy page" '^Validate HTML pages with Kelvane\.+Passed'
expect_output "tidy page" '^Check that HTML pages are tidy\.+Passed'
git commit -q -m tidy --no-verify

# Untidy but without errors: the check fails and shows the diff, validation passes, and
# nothing is written (no change to the page, no backup folder).
printf '<title>Messy</title>\n<p>messy\n' > messy.html
git add messy.html
run "untidy page, check" 1 kelvane-check
expect_output "untidy page, check" '^\+\+\+ b/messy\.html'
expect_output "untidy page, check" '^\+<P>messy</P>'
run "untidy page, validate" 0 kelvane-validate
[[ $(cat messy.html) == $'<title>Messy</title>\n<p>messy' ]] || fail "the check changed messy.html"
[[ -z $(git status --porcelain --untracked-files=all | grep -v '^A ') ]] ||
    fail "the hooks left files behind: $(git status --porcelain --untracked-files=all)"
git reset -q messy.html && rm messy.html

# An Error-level message fails validation, and the report names the page and the line.
printf '<!DOCTYPE html>\n<title>Broken</title>\n<p><blink2>x</blink2>\n' > Broken.HTM
git add Broken.HTM
run "page with an error" 1 kelvane-validate
expect_output "page with an error" '^Broken\.HTM:3:[0-9]+: error: <blink2> is not recognized!'
git reset -q Broken.HTM

# Only staged pages are handed over: the error above, left unstaged, and a staged file that is
# not a page are not looked at.
printf '<p><blink2>not a page</blink2>\n' > notes.txt
git add notes.txt
run "no page staged" 0
expect_output "no page staged" 'Validate HTML pages with Kelvane\.+\(no files to check\)Skipped'

# Tidy options the repository keeps, given as the hook's args, are the ones the check uses: the
# page tidied above with upper-case tags is no longer tidy with lower-case ones.
printf '[FormTidyProperties]\ncbUppercaseTags.Checked=0\n' > kelvane-options.ini
cat > .pre-commit-config.yaml <<YAML
repos:
  - repo: $tmp/hooks
    rev: $rev
    hooks:
      - id: kelvane-check
        args: [--options, kelvane-options.ini]
YAML
run "the repository's options" 1 kelvane-check --files tidy.html
expect_output "the repository's options" '^\+<p>Already tidy</p>'

# Without args, the repository's .kelvane.ini is found above the pages: the same options, now
# for every hook and every contributor; and its mutes hide the keys it names.
printf '[FormTidyProperties]\ncbUppercaseTags.Checked=0\nEditMute.Text=MISSING_DOCTYPE\n' > .kelvane.ini
cat > .pre-commit-config.yaml <<YAML
repos:
  - repo: $tmp/hooks
    rev: $rev
    hooks:
      - id: kelvane-validate
        verbose: true
      - id: kelvane-check
YAML
mkdir -p pages
cp tidy.html pages/tidy.html
run "the project options file" 1 kelvane-check --files pages/tidy.html
expect_output "the project options file" '^\+<p>Already tidy</p>'
printf '<title>Muted</title>\n<p>x\n' > pages/muted.html
run "the project's mutes" 0 kelvane-validate --files pages/muted.html
if grep -q 'MISSING_DOCTYPE' "$tmp/out.txt"; then
    fail "the project's mutes: a muted key was reported"
    sed 's/^/    /' "$tmp/out.txt"
fi
expect_output "the project's mutes" 'muted messages were not reported'

finish "pre-commit hooks"
