#!/usr/bin/env python3
"""Validates real JSON reports of kelvane-batch against the published schema.

Runs the build tree's kelvane-batch over a copy of the example site with every command and
many kinds of entries, validates each report, checks that the schema names exactly the
statuses the program can report, and that it rejects a report that breaks it.
Exit 77 (skipped) without python3-jsonschema.

    report_schema_test.py SOURCE_DIR BIN_DIR
"""
import copy
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
SCHEMA_PATH = os.path.join(SOURCE, "share/schema/kelvane-batch-report.schema.json")
failures = []


def fail(text):
    failures.append(text)
    print("FAIL: " + text)


def source_statuses():
    """Every status the program writes: its outcome names and the entries its list flags."""
    def read(relative):
        with open(os.path.join(SOURCE, relative), encoding="utf-8") as f:
            return f.read()
    report = read("src/batch/Report.cpp")
    body = report[report.index("QString OutcomeName("):report.index("void RunTally::Add")]
    names = set(re.findall(r'case FileOutcome::\w+:\s*return QStringLiteral\("([^"]+)"\)', body))
    flags = set(re.findall(r'Flag\([^;]*?QStringLiteral\("([^"]+)"\)',
                           read("src/batch/BatchWorkItems.cpp"), re.S))
    return names | flags


def main():
    with open(SCHEMA_PATH, encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)

    in_schema = {choice["const"] for choice in schema["$defs"]["status"]["oneOf"]}
    in_source = source_statuses()
    if len(in_source) < 20:
        fail("found only %d statuses in the sources: %s" % (len(in_source), sorted(in_source)))
    if in_source - in_schema:
        fail("statuses the program reports that the schema lacks: %s" % sorted(in_source - in_schema))
    if in_schema - in_source:
        fail("statuses in the schema that the program never reports: %s" % sorted(in_schema - in_source))

    with tempfile.TemporaryDirectory() as tmp:
        # The programs linked into a folder of their own: their settings file starts empty.
        bindir = os.path.join(tmp, "bin")
        os.mkdir(bindir)
        for program in ("kelvane-batch", "kelvane-engine"):
            try:
                os.link(os.path.join(BIN, program), os.path.join(bindir, program))
            except OSError:
                shutil.copy2(os.path.join(BIN, program), bindir)
        env = dict(os.environ, HOME=tmp, XDG_CONFIG_HOME=os.path.join(tmp, "config"))
        work = os.path.join(tmp, "work")
        shutil.copytree(os.path.join(SOURCE, "examples/site"), os.path.join(work, "site"))
        site = os.path.join(work, "site")
        # Entries of other kinds: a name that is not UTF-8, a read-only page, a pipe.
        with open(os.path.join(site.encode(), b"caf\xe9.html"), "wb") as f:
            f.write(b"<title>Caf\xe9</title><p>Latin-1 name\n")
        with open(os.path.join(site, "locked.html"), "w") as f:
            f.write("<p>read-only\n")
        os.chmod(os.path.join(site, "locked.html"), 0o444)
        os.mkfifo(os.path.join(work, "pipe.html"))

        seen_status, seen_keys = set(), set()

        def report(*arguments):
            run = subprocess.run([os.path.join(bindir, "kelvane-batch"), "-q", "--format", "json",
                                  *arguments], cwd=work, env=env, capture_output=True, timeout=120)
            name = "kelvane-batch " + " ".join(arguments)
            try:
                document = json.loads(run.stdout)
            except ValueError as error:
                fail("%s: the report is not JSON (%s): %r" % (name, error, run.stdout[:300]))
                return None
            for error in validator.iter_errors(document):
                fail("%s: %s at %s" % (name, error.message, "/".join(map(str, error.absolute_path))))
            if document.get("exitStatus") != run.returncode:
                fail("%s: the report says exit status %r, the program ended with %d"
                     % (name, document.get("exitStatus"), run.returncode))
            for entry in document.get("files", []):
                seen_status.add(entry.get("status"))
                seen_keys.update(entry)
                for message in entry.get("messages", []):
                    seen_keys.update("message." + key for key in message)
            return document

        first = report("validate", "-r", "site", "pipe.html")
        if first:
            with open(os.path.join(work, "baseline.json"), "w") as f:
                json.dump(first, f)
        report("validate", "-r", "--mute", "MISSING_DOCTYPE", "--baseline", "baseline.json", "site")
        report("tidy", "--diff", "-r", "site")
        report("tidy", "site/about.html", "site/about.html", "site", "missing.html")
        report("tidy", "-r", "site")                     # about.html again: already tidied
        # A tidy page without a backup: tidying leaves it unchanged.
        os.mkdir(os.path.join(work, "scratch"))
        with open(os.path.join(work, "scratch/tidy.html"), "w") as f:
            f.write("<title>Tidy</title><p>tidy\n")
        report("tidy", "scratch/tidy.html")
        report("clean", "scratch/tidy.html")
        last = report("tidy", "--check", "-r", "site", "scratch/tidy.html")
        report("restore", "site/Kelvane Backup/about.html")
        report("restore", "-r", "site")
        report("restore", "site/about.html")
        report("clean", "-r", "site")

        wanted = {"has-messages", "would-change", "unchanged", "tidied", "tidied-before",
                  "already-tidied", "too-many-messages", "folder", "missing", "unreadable",
                  "read-only", "backup-copy", "restored", "no-backup", "no-backup-left"}
        if wanted - seen_status:
            fail("the runs never reported %s; the test no longer covers them" % sorted(wanted - seen_status))
        for key in ("pathBytes", "diff", "problems", "message.rule", "message.baselineState"):
            if key not in seen_keys:
                fail("no report had a file with '%s'" % key)

        # The schema is not a formality: a report that breaks it is refused.
        if last:
            for name, broken in (("unknown status", lambda d: d["files"][0].update(status="fine")),
                                 ("no notProcessed", lambda d: d["counts"].pop("notProcessed")),
                                 ("notProcessedAtLeast as a number",
                                  lambda d: d["counts"].update(notProcessedAtLeast=1)),
                                 ("an unknown level", lambda d: d["counts"]["messages"].update(hint=1)),
                                 ("an extra field", lambda d: d.update(extra=True)),
                                 ("a rule that is no key",
                                  lambda d: next(f for f in d["files"] if f["messages"])
                                  ["messages"][0].update(rule="not a key")),
                                 ("no muted count", lambda d: d["counts"].pop("muted"))):
                document = copy.deepcopy(last)
                broken(document)
                if validator.is_valid(document):
                    fail("the schema accepts a report with %s" % name)

    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("JSON reports match the schema (statuses seen: %s)" % ", ".join(sorted(seen_status)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
