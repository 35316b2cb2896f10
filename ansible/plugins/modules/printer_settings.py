#!/usr/bin/python
# -*- coding: utf-8 -*-
# Keeps a label printer's stored settings as a profile says.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: printer_settings
short_description: Keep a label printer's stored settings as a profile says
description:
  - Reads the printer's stored settings (its configuration), compares them with a
    Tarvolin profile and sends only the settings that differ, then the command that
    makes the printer keep them, then reads the configuration again to verify them.
  - Reports changed only when a setting differed and was applied and verified. A
    printer whose settings already match is left alone and reports ok.
  - Calls C(tarvolin-cli --json) on the host that runs the task (usually the
    controller, through C(delegate_to)); Tarvolin must be installed there.
  - Only the keys the profile (or I(settings)) gives are compared; a key the
    printer does not report is listed in I(unchecked) and not sent.
version_added: "1.0.0"
author:
  - Tarvolin developers
options:
  target:
    description:
      - The printer, as a URI as tarvolin-cli takes it, for example
        C(tcp://10.0.3.11) or C(tcp://10.0.3.11:9100).
    type: str
    required: true
  profile:
    description:
      - A Tarvolin profile file (the INI file that C(tarvolin-cli store-settings)
        reads; C(tarvolin-cli profile --example) prints one).
      - Exactly one of I(profile) and I(settings) is given.
    type: path
  settings:
    description:
      - The settings as a mapping with the profile's keys, for example
        C(density), C(speed), C(width), C(height), C(media-sensor), C(media-type),
        C(post-print-action), C(direction), C(top), C(shift), C(home-x), C(home-y),
        and C(resolution) and C(unit) for the lengths.
    type: dict
  cli:
    description:
      - The tarvolin-cli program, as a name looked up on the PATH or as a path.
    type: str
    default: tarvolin-cli
  timeout:
    description:
      - Seconds the printer is given for the whole task before it is reported failed.
    type: float
    default: 30
attributes:
  check_mode:
    support: full
    description: Reports the drift and sends nothing.
  diff_mode:
    support: full
    description: Shows each differing setting as the printer has it and as it will be.
notes:
  - Failures name the printer and the reason (for example that it did not answer,
    or which setting did not take).
"""

EXAMPLES = r"""
- name: Keep the hall's printers at the profile's settings
  tarvolin.printers.printer_settings:
    target: "tcp://{{ inventory_hostname }}"
    profile: files/hall3.ini
  delegate_to: localhost

- name: Darker print and gap sensing on one printer
  tarvolin.printers.printer_settings:
    target: tcp://10.0.3.11
    settings:
      density: 22
      media-sensor: Web Sensing
  delegate_to: localhost
"""

RETURN = r"""
target:
  description: The printer's URI.
  returned: always
  type: str
drift:
  description: Each setting that differed, as the printer had it and as the profile wants it.
  returned: always
  type: dict
  sample: {"density": {"printer": 22, "profile": 15}}
verified:
  description: Whether the configuration read after the change matched the profile.
  returned: always
  type: bool
unchecked:
  description: Profile keys the printer does not report, neither compared nor sent.
  returned: always
  type: list
  elements: str
"""

import os
import re
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.six import iteritems
from ansible_collections.tarvolin.printers.plugins.module_utils.tarvolin_cli import (
    CLI_OPTIONS,
    printable,
    run_cli,
)

# Characters that would end a profile line or hide what it says.
_LINE_BREAKING = re.compile(r"[\x00-\x1f\x7f-\x9f\u2028\u2029]")


def profile_text(settings):
    """The settings as profile lines, and the key on each line (the first
    line is 1). Raises ValueError naming every key or value that cannot be
    a profile line."""
    lines = []
    keys = []
    bad = []
    for key, value in iteritems(settings):
        if isinstance(value, bool):
            value = "ON" if value else "OFF"
        text = "" if value is None else str(value)
        where = "settings.%s" % printable(key)
        if _LINE_BREAKING.search(key) or "=" in key or key.strip() != key or not key:
            bad.append("%s: not a profile key" % where)
        elif _LINE_BREAKING.search(text):
            bad.append("%s: a control character in '%s'" % (where, printable(text)))
        else:
            lines.append("%s = %s" % (key, text))
            keys.append(key)
    if bad:
        raise ValueError("; ".join(bad))
    return "\n".join(lines) + "\n", keys


def setting_errors(reason, path, keys):
    """The program's complaint about the profile written from settings,
    every bad line named by its task option (settings.density) rather than
    by the temporary file's path and line."""
    named = []
    at = re.compile(r"^(?:tarvolin-cli: )?(?:apply: )?%s(?::(\d+))?: (.*)$" % re.escape(path))
    for line in reason.splitlines():
        line = line.strip()
        if not line or line.startswith("Try 'tarvolin-cli"):
            continue
        m = at.match(line)
        if not m:
            named.append(line)
            continue
        number, message = m.group(1), m.group(2)
        key = keys[int(number) - 1] if number and 0 < int(number) <= len(keys) else None
        if key is None:
            # A complaint about a key named in the message ("width: ...").
            key, _, rest = message.partition(": ")
            if key not in keys or not rest:
                named.append("settings: %s" % message)
                continue
            message = rest
        elif message.startswith(key + ": "):
            message = message[len(key) + 2:]
        named.append("settings.%s: %s" % (key, message))
    return "; ".join(named)


def side(drift, which):
    return "".join("%s: %s\n" % (key, values[which]) for key, values in sorted(iteritems(drift)))


def main():
    argument_spec = dict(
        target=dict(type="str", required=True),
        profile=dict(type="path"),
        settings=dict(type="dict"),
    )
    argument_spec.update(CLI_OPTIONS)
    module = AnsibleModule(
        argument_spec=argument_spec,
        mutually_exclusive=[("profile", "settings")],
        required_one_of=[("profile", "settings")],
        supports_check_mode=True,
    )

    profile = module.params["profile"]
    refused = None
    if module.params["settings"] is not None:
        try:
            text, keys = profile_text(module.params["settings"])
        except ValueError as e:
            module.fail_json(msg="%s: %s" % (module.params["target"], e))
        fd, profile = tempfile.mkstemp(suffix=".ini", dir=module.tmpdir)
        with os.fdopen(fd, "w") as f:
            f.write(text)

        def refused(reason):
            return setting_errors(reason, profile, keys)

    extra = ["--check"] if module.check_mode else []
    # --check exits 4 when something would change.
    rc, report = run_cli(module, "apply", [profile], extra, accept=(0, 4), refused=refused)
    drift = report.get("drift", {})
    result = dict(
        target=module.params["target"],
        drift=drift,
        verified=bool(report.get("verified", False)),
        unchecked=report.get("unchecked", []),
        changed=bool(drift) if module.check_mode else bool(report.get("changed", False)),
    )
    if module._diff and drift:
        result["diff"] = dict(
            before_header="%s (printer)" % module.params["target"],
            after_header="%s (profile)" % module.params["target"],
            before=side(drift, "printer"),
            after=side(drift, "profile"),
        )
    module.exit_json(**result)


if __name__ == "__main__":
    main()
