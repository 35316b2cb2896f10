#!/usr/bin/python
# -*- coding: utf-8 -*-
# A label printer's identity, conditions and configuration as facts.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: printer_facts
short_description: Read a label printer's identity, conditions and configuration
description:
  - Asks the printer for its identification, its host status and its configuration
    in one run of C(tarvolin-cli --json facts) and returns them as the fact
    C(tarvolin_printer).
  - A printer that reports an error condition (paper out, head open, ...) is not a
    failure here, the condition is in the facts. A printer that does not answer is.
  - Tarvolin must be installed on the host that runs the task.
version_added: "1.0.0"
author:
  - Tarvolin developers
options:
  target:
    description:
      - The printer, as a URI as tarvolin-cli takes it, for example C(tcp://10.0.3.11).
    type: str
    required: true
  cli:
    description:
      - The tarvolin-cli program, as a name looked up on the PATH or as a path.
    type: str
    default: tarvolin-cli
  timeout:
    description:
      - Seconds the printer is given for the whole task (all three questions).
    type: float
    default: 30
attributes:
  check_mode:
    support: full
    description: Only reads; the same in check mode.
  diff_mode:
    support: none
"""

EXAMPLES = r"""
- name: Read the printer
  tarvolin.printers.printer_facts:
    target: "tcp://{{ inventory_hostname }}"
  delegate_to: localhost

- name: Stop when the printer has no paper
  ansible.builtin.assert:
    that: "'paper_out' not in tarvolin_printer.conditions"
"""

RETURN = r"""
ansible_facts:
  description: The fact tarvolin_printer.
  returned: always
  type: dict
  contains:
    tarvolin_printer:
      description: What the printer told.
      type: dict
      contains:
        target:
          description: The printer's URI.
          type: str
        info:
          description: Identification (model, firmware, dotsPerMm, memoryKB, options); numbers are numbers.
          type: dict
        host_status:
          description: Every decoded host status field, by its name; flags are booleans, counts are numbers.
          type: dict
        conditions:
          description: Names of the conditions that stop printing and are set (paper_out, head_open, ...).
          type: list
          elements: str
        warnings:
          description: Names of the warnings that are set; they do not stop printing.
          type: list
          elements: str
        modes:
          description: How the printer is set to print (thermal_transfer or direct_thermal, the print mode); never a condition.
          type: list
          elements: str
        config:
          description:
            - The configuration, each setting's name mapped to its value as the printer wrote it.
            - A name the printer writes more than once maps to the list of its values, in order.
          type: dict
          sample: {"DARKNESS": "+15.0", "NONRESET CNTR": ["443,279 LABELS", "0 IN", "0 CM"]}
        settings:
          description: The configuration mapped to the profile's keys; numbers are numbers.
          type: dict
          sample: {"density": 15, "width": 76.125, "media-sensor": "Web Sensing"}
"""

import re

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.six import iteritems, string_types
from ansible_collections.tarvolin.printers.plugins.module_utils.tarvolin_cli import (
    CLI_OPTIONS,
    run_cli,
)


def snake_case(name):
    return re.sub(r"(?<!^)([A-Z])", r"_\1", name).lower()


def typed(value):
    """A profile value as a number when it is one ("15" -> 15, "76.125" -> 76.125)."""
    if isinstance(value, string_types):
        if re.match(r"^-?[0-9]+$", value):
            return int(value)
        if re.match(r"^-?[0-9]+\.[0-9]+$", value):
            return float(value)
    return value


def config_mapping(pairs):
    """[{"name": n, "value": v}, ...] as {n: v}; a repeated name keeps all its values as a list."""
    mapping = {}
    for pair in pairs:
        name, value = pair.get("name"), pair.get("value")
        if name not in mapping:
            mapping[name] = value
        elif isinstance(mapping[name], list):
            mapping[name].append(value)
        else:
            mapping[name] = [mapping[name], value]
    return mapping


# Host status flags that are not conditions: how the printer is set up to
# print, or how far it has got.
NOT_CONDITIONS = ("thermal_transfer", "label_waiting", "partial_format")


def status_names(report, host_status):
    """conditions, warnings and modes: as the program names them, or, from a
    program that names none, the error flags of the host status."""
    if "conditions" in report:
        return (
            sorted(snake_case(n) for n in report.get("conditions") or []),
            sorted(snake_case(n) for n in report.get("warnings") or []),
            sorted(snake_case(n) for n in report.get("modes") or []),
        )
    conditions = sorted(
        name
        for name, value in iteritems(host_status)
        if isinstance(value, bool) and value and name not in NOT_CONDITIONS
    )
    thermal_transfer = host_status.get("thermal_transfer", False)
    if not thermal_transfer:
        # Ribbon out on a direct-thermal printer is no fault.
        conditions = [c for c in conditions if c != "ribbon_out"]
    return conditions, [], ["thermal_transfer" if thermal_transfer else "direct_thermal"]


def main():
    argument_spec = dict(target=dict(type="str", required=True))
    argument_spec.update(CLI_OPTIONS)
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)

    # One run, one timeout; a printer in an error condition exits 3, which
    # is a fact, not a failure.
    report = run_cli(module, "facts", accept=(0, 3))[1]
    host_status = dict((snake_case(k), v) for k, v in iteritems(report.get("hostStatus", {})))
    conditions, warnings, modes = status_names(report, host_status)
    facts = dict(
        target=module.params["target"],
        info=report.get("info", {}),
        host_status=host_status,
        conditions=conditions,
        warnings=warnings,
        modes=modes,
        config=config_mapping(report.get("config", [])),
        settings=dict((k, typed(v)) for k, v in iteritems(report.get("settings", {}))),
    )
    module.exit_json(changed=False, ansible_facts=dict(tarvolin_printer=facts))


if __name__ == "__main__":
    main()
