#!/usr/bin/env python3
"""SARIF reports and baselines of kelvane-batch on a real manual, as CI uses them.

Every SARIF report is validated against the SARIF 2.1.0 JSON schema (tests/data/sarif: Debian
ships none; see its README) and must have one rule per HTML Tidy message key. A baseline is
written over a real manual (the HTML of the Debian package postgresql-doc-15, fetched by
scripts/fetch-manual), a few pages are edited, and the run against the baseline must report
exactly the messages that are new: every line moved on one page, one more of a known message
there, new kinds on another, one message gone from a third.
Exit 77 (skipped) without python3-jsonschema or when the manual cannot be had.

    sarif_baseline_test.py SOURCE_DIR BIN_DIR
"""
import collections
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

try:
    import jsonschema
except ImportError:
    print("SKIP: python3-jsonschema is not installed (scripts/install-deps installs it)")
    sys.exit(77)

SOURCE, BIN = sys.argv[1], sys.argv[2]
SARIF_SCHEMA = os.path.join(SOURCE, "tests/data/sarif/sarif-2.1.0-rtm.5.json")
KEY = re.compile(r"^[A-Z][A-Z0-9_]*$")
failures = []


def fail(text):
    failures.append(text)
    print("FAIL: " + text)


def main():
    fetched = subprocess.run([os.path.join(SOURCE, "scripts/fetch-manual"), "postgresql-doc-15"],
                             capture_output=True, text=True, timeout=600)
    if fetched.returncode != 0:
        print("SKIP: the manual cannot be had: " + fetched.stderr.strip())
        return 77
    manual = fetched.stdout.strip()
    with open(SARIF_SCHEMA, encoding="utf-8") as f:
        sarif_schema = json.load(f)
    sarif_validator = jsonschema.Draft4Validator(sarif_schema)

    with tempfile.TemporaryDirectory() as tmp:
        bindir = os.path.join(tmp, "bin")
        os.mkdir(bindir)
        for program in ("kelvane-batch", "kelvane-engine"):
            try:
                os.link(os.path.join(BIN, program), os.path.join(bindir, program))
            except OSError:
                shutil.copy2(os.path.join(BIN, program), bindir)
        env = dict(os.environ, HOME=tmp, XDG_CONFIG_HOME=os.path.join(tmp, "config"))
        work = os.path.join(tmp, "work")
        os.makedirs(os.path.join(work, ".git"))  # the repository: no options file above it
        shutil.copytree(manual, os.path.join(work, "manual"))
        shutil.copytree(os.path.join(SOURCE, "examples/site"), os.path.join(work, "site"))

        def run(*arguments):
            return subprocess.run([os.path.join(bindir, "kelvane-batch"), "-q", *arguments],
                                  cwd=work, env=env, capture_output=True, timeout=600)

        def sarif(name, *arguments, status=None):
            result = run("--format", "sarif", *arguments)
            try:
                log = json.loads(result.stdout)
            except ValueError as error:
                fail("%s: not JSON (%s)" % (name, error))
                return None
            for error in sarif_validator.iter_errors(log):
                fail("%s: %s at %s" % (name, error.message, "/".join(map(str, error.absolute_path))))
            if status is not None and result.returncode != status:
                fail("%s: exit status %d, not %d: %s" % (name, result.returncode, status, result.stderr))
            driver = log["runs"][0]["tool"]["driver"]
            ids = [rule["id"] for rule in driver["rules"]]
            if len(ids) != len(set(ids)):
                fail("%s: a rule is listed twice" % name)
            for result in log["runs"][0]["results"]:
                if ids[result["ruleIndex"]] != result["ruleId"]:
                    fail("%s: result of rule %s points at %s" % (name, result["ruleId"], ids[result["ruleIndex"]]))
                if not (KEY.match(result["ruleId"]) or result["ruleId"].startswith("kelvane-")):
                    fail("%s: rule %r is no message key" % (name, result["ruleId"]))
            return log

        # The example site, with entries that fail and pages tidying would change.
        sarif("site", "validate", "-r", "site", "missing.html", status=3)
        sarif("site --check", "tidy", "--check", "--force", "-r", "site", status=1)

        baseline = os.path.join(work, "baseline.json")
        written = run("validate", "-r", "--write-baseline", baseline, "manual")
        if written.returncode != 0:
            fail("writing the baseline: exit status %d: %s" % (written.returncode, written.stderr))
        with open(baseline, encoding="utf-8") as f:
            before = json.load(f)

        unchanged = run("validate", "-r", "--baseline", baseline, "manual")
        lines = unchanged.stdout.decode().splitlines()
        if unchanged.returncode != 0 or len(lines) != 1:
            fail("the unchanged manual against its baseline: status %d, %d lines"
                 % (unchanged.returncode, len(lines)))

        def edit(page, old, new, count=1):
            path = os.path.join(work, "manual", page)
            with open(path, encoding="utf-8") as f:
                text = f.read()
            if old not in text:
                fail("%s has no %r to edit" % (page, old))
            with open(path, "w", encoding="utf-8") as f:
                f.write(text.replace(old, new, count))

        # Every line of sql-select.html moves down, and one more empty paragraph is trimmed.
        edit("sql-select.html", "<body", "\n\n\n\n\n<body")
        edit("sql-select.html", "</body>", "<p></p></body>")
        # New kinds of messages, one at Error level.
        edit("tutorial-sql.html", "</body>", "<blink>old</blink><wobble>x</wobble></body>")
        # A message gone: nothing new.
        edit("index.html", '<link rev="made" href="pgsql-docs@lists.postgresql.org" />', "")

        after = json.loads(run("validate", "-r", "--format", "json", "manual").stdout)

        def messages(report):
            found = collections.Counter()
            for entry in report["files"]:
                for message in entry["messages"]:
                    found[(entry["path"], message.get("rule"), message["text"])] += 1
            return found

        expected = messages(after) - messages(before)
        if sum(expected.values()) < 4:
            fail("the edits made only %d new messages: %s" % (sum(expected.values()), expected))
        if expected[("manual/sql-select.html", "TRIM_EMPTY_ELEMENT", "trimming empty <p>")] != 1:
            fail("one more trimmed paragraph expected: %s" % expected)
        if {path for path, _, _ in expected} != {"manual/sql-select.html", "manual/tutorial-sql.html"}:
            fail("new messages outside the edited pages: %s" % expected)
        if not any(rule == "UNKNOWN_ELEMENT" for _, rule, _ in expected):
            fail("no new Error-level message: %s" % expected)

        # The text report lists exactly those; the unknown element makes it fail.
        checked = run("validate", "-r", "--baseline", baseline, "manual")
        if checked.returncode != 1:
            fail("against the baseline: exit status %d, not 1" % checked.returncode)
        reported = collections.Counter()
        line_form = re.compile(r"^(.+?):\d+:\d+: (?:note|warning|error): (.*) \[([A-Z_0-9]+)\]$")
        for line in checked.stdout.decode().splitlines()[:-1]:
            match = line_form.match(line)
            if not match:
                fail("not a message line: %r" % line)
                continue
            reported[(match.group(1), match.group(3), match.group(2))] += 1
        if reported != expected:
            fail("against the baseline, reported %s, expected %s" % (reported, expected))

        # SARIF: as many new results, every other one unchanged.
        log = sarif("manual --baseline", "validate", "-r", "--baseline", baseline, "manual", status=1)
        if log:
            states = collections.Counter(r.get("baselineState") for r in log["runs"][0]["results"])
            total = sum(messages(after).values())
            if states["new"] != sum(expected.values()) or states["unchanged"] != total - states["new"]:
                fail("SARIF baseline states %s, expected %d new of %d"
                     % (dict(states), sum(expected.values()), total))

    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("SARIF valid with a rule per key; the baseline run reported exactly the %d new messages"
          % sum(expected.values()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
