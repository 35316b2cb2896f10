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
    through C(tarvolin-cli --json) and returns them as the fact C(tarvolin_printer).
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
      - The tarvolin-cli program: a name looked up on the PATH, or a path.
    type: str
    default: tarvolin-cli
  timeout:
    description:
      - Seconds the printer is given for each query.
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
          description: Identification (model, firmware, dotsPerMm, memoryKB, options).
          type: dict
        host_status:
          description: Every decoded host status field, by its name.
          type: dict
        conditions:
          description: Names of the conditions that are set (paper_out, head_open, ...).
          type: list
          elements: str
        config:
          description: The configuration's name/value pairs as the printer wrote them.
          type: dict
        settings:
          description: The configuration mapped to the setup panel's fields.
          type: dict
"""

import re

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.six import iteritems
from ansible_collections.tarvolin.printers.plugins.module_utils.tarvolin_cli import (
    CLI_OPTIONS,
    run_cli,
)


def snake_case(name):
    return re.sub(r"(?<!^)([A-Z])", r"_\1", name).lower()


def main():
    argument_spec = dict(target=dict(type="str", required=True))
    argument_spec.update(CLI_OPTIONS)
    module = AnsibleModule(argument_spec=argument_spec, supports_check_mode=True)

    info = run_cli(module, "info")[1].get("info", {})
    # host-status exits 3 when an error condition is set: that is a fact, not a failure.
    host_status = run_cli(module, "host-status", accept=(0, 3))[1].get("hostStatus", {})
    config = run_cli(module, "config")[1]

    conditions = sorted(
        snake_case(name)
        for name, value in iteritems(host_status)
        if isinstance(value, bool) and value
    )
    facts = dict(
        target=module.params["target"],
        info=info,
        host_status=dict((snake_case(k), v) for k, v in iteritems(host_status)),
        conditions=conditions,
        config=config.get("config", {}),
        settings=config.get("settings", {}),
    )
    module.exit_json(changed=False, ansible_facts=dict(tarvolin_printer=facts))


if __name__ == "__main__":
    main()
