#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 Brindleway maintainers
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
# SPDX-License-Identifier: GPL-3.0-or-later

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: autologin_info
short_description: Tell what LightDM will do about automatic login, and why
version_added: 0.1.0
description:
  - Runs C(brindleway-helper --json status) on the managed host and returns its answer, which
    tells whether LightDM will log a user in automatically, each setting that decides it and the
    file and line it comes from, the session LightDM would start, and the checks the helper makes before an
    C(enable) (configuration, PAM, session, home, display manager at boot).
  - It needs no root and changes nothing.
author:
  - Brindleway maintainers (@brindleway)
attributes:
  check_mode:
    support: full
    description: Runs the same in check mode; it never changes anything.
  diff_mode:
    support: none
    description: Nothing changes, so there is nothing to show.
extends_documentation_fragment:
  - brindleway.lightdm.helper
seealso:
  - module: brindleway.lightdm.autologin
'''

EXAMPLES = r'''
- name: Ask each kiosk what LightDM will do
  brindleway.lightdm.autologin_info:
  register: lightdm

- name: Show the hosts where LightDM would not log kiosk in
  ansible.builtin.debug:
    msg: "{{ lightdm.autologin.checks }}"
  when: lightdm.autologin.state != 'enabled' or lightdm.autologin.user != 'kiosk'
'''

RETURN = r'''
autologin:
  description: The helper's answer to C(--json status), format 1 (its C(docs/calling.md)).
  returned: success
  type: dict
  contains:
    state:
      description: C(enabled) exactly where plain C(status) says that automatic login is
        enabled, C(disabled) where it says that it is disabled, C(other) for any other outcome.
      type: str
      sample: enabled
    user:
      description: The user LightDM logs in, or null.
      type: str
      sample: kiosk
    timeout:
      description: The seconds LightDM waits before it logs the user in, or null.
      type: int
      sample: 0
    guest:
      description: Whether LightDM logs a guest in.
      type: bool
      sample: false
    background:
      description: Whether the session starts in the background.
      type: bool
      sample: false
    seats:
      description: Each seat whose outcome differs, with C(seat), C(outcome) and C(user).
      type: list
      elements: dict
      sample: []
    settings:
      description: Each deciding setting, with C(key), C(value), C(file), C(section) and C(line).
      type: list
      elements: dict
      sample:
        - key: autologin-user
          value: kiosk
          file: /etc/lightdm/lightdm.conf
          section: Seat:*
          line: 12
    session:
      description: The session LightDM would start, with C(name), C(from) and C(file), or null.
      type: dict
      sample:
        name: xfce
        from: user-session
        file: /usr/share/xsessions/xfce.desktop
    checks:
      description: C(configuration), C(pam), C(session), C(home) and C(display_manager), each
        with C(result) (C(pass), C(fail), C(not-checked) or C(cannot-tell)), C(code) and C(message).
      type: dict
      sample:
        pam:
          result: pass
          code: null
          message: null
    warnings:
      description: The helper's warnings, each with C(code) and C(message).
      type: list
      elements: dict
      sample: []
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.brindleway.lightdm.plugins.module_utils.helper import (
    DEFAULT_HELPER, ask_helper)


def main():
    module = AnsibleModule(
        argument_spec=dict(helper=dict(type='path', default=DEFAULT_HELPER)),
        supports_check_mode=True,
    )
    rc, answer, err = ask_helper(module, 'status')
    status = dict((key, value) for key, value in answer.items() if key != 'format')
    if rc != 0:
        module.fail_json(msg=err.strip() or 'the helper failed with exit status %d' % rc,
                         rc=rc, autologin=status)
    module.exit_json(changed=False, autologin=status)


if __name__ == '__main__':
    main()
