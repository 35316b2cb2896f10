# -*- coding: utf-8 -*-
# Runs tarvolin-cli with --json for the modules of this collection and reads
# its report: one JSON object per target, then a summary object.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import re

CLI_OPTIONS = dict(
    cli=dict(type="str", default="tarvolin-cli"),
    timeout=dict(type="float", default=30.0),
)


_CONTROL = re.compile(r"[\x00-\x08\x0b-\x1f\x7f-\x9f]")


def printable(text):
    """The text with every control character but the line break written as
    an escape (\\r, \\x1b), so a message shows what was there and cannot
    move the cursor or rewrite a line of the output it lands in."""

    def escape(match):
        c = match.group(0)
        if c == "\r":
            return "\\r"
        if c == "\t":
            return "\\t"
        return "\\x%02x" % ord(c)

    return _CONTROL.sub(escape, text)


def find_cli(module):
    """The program's path; fails the task, saying what to do, when it is missing."""
    path = module.get_bin_path(module.params["cli"])
    if path is None:
        module.fail_json(
            msg="%s is not installed or not on the PATH: install Tarvolin on the host "
            "that runs this task, or give its path as cli" % module.params["cli"]
        )
    return path


def run_cli(module, operation, arguments=None, extra=None, accept=(0,), refused=None):
    """Runs one operation against the task's target and returns
    (exit status, the target's report object). Fails the task with the
    printer and the reason when the program refuses or the printer fails.
    refused, when given, turns the program's complaint about bad input
    (its error output) into the task's words."""
    target = module.params["target"]
    command = [
        find_cli(module),
        "--json",
        "--to",
        target,
        "--timeout",
        str(module.params["timeout"]),
    ]
    command += [operation] + list(arguments or []) + list(extra or [])
    rc, out, err = module.run_command(command, check_rc=False)
    report = None
    for line in out.splitlines():
        line = line.strip()
        if not line:
            continue
        try:
            obj = json.loads(line)
        except ValueError:
            continue
        if isinstance(obj, dict) and "target" in obj:
            report = obj
    if report is None:
        # Bad input: the program names it on its error output.
        reason = err.strip() or out.strip() or "no report (exit status %d)" % rc
        if refused is not None:
            reason = refused(reason)
        module.fail_json(msg=printable("%s: %s" % (target, reason)), rc=rc, cmd=command)
    if report.get("result") == "failed" or rc not in accept:
        reason = report.get("error") or err.strip() or "exit status %d" % rc
        # A run that failed after the store command went out may have
        # changed the printer: the report says so, and so does the task.
        module.fail_json(
            msg=printable("%s: %s" % (target, reason)),
            rc=rc,
            report=report,
            cmd=command,
            changed=bool(report.get("changed")),
        )
    return rc, report
