#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 Brindleway maintainers
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
# SPDX-License-Identifier: GPL-3.0-or-later

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: autologin
short_description: Switch LightDM's automatic login on for a user, or off
version_added: 0.1.0
description:
  - Turns LightDM's automatic login on for one user, or off, by running C(brindleway-helper)
    on the managed host, which keeps the user in the group C(autologin) too.
  - The helper reads LightDM's whole configuration as LightDM does, drop-ins included, and asks
    LightDM's PAM service about the account. Where LightDM would not do what was asked, the
    helper refuses, changes nothing, and the task fails with the helper's own message and code.
  - Check mode runs the helper's C(--dry-run), which runs every check the real run would, so a
    check run that passes means the real run would too, unless writing the file or an account
    tool fails then.
author:
  - Brindleway maintainers (@brindleway)
options:
  user:
    description:
      - The account to log in automatically.
      - Required with C(state=enabled). With C(state=disabled) it names a user to take out of
        the group C(autologin) as well.
    type: str
  state:
    description:
      - C(enabled) turns automatic login on for C(user); C(disabled) turns it off.
    type: str
    choices: [enabled, disabled]
    default: enabled
attributes:
  check_mode:
    support: full
    description: Runs the helper's C(--dry-run), which runs every check of the real run and changes nothing.
  diff_mode:
    support: full
    description: Shows the configuration file's text before and after, and the members the group C(autologin) gains or loses.
notes:
  - The helper changes the system, so the task needs root on the managed host (C(become)).
    Without root the helper refuses, and the task fails with its message.
  - C(changed) is the helper's own answer, true where the file's bytes or the group differ
    afterwards. A second run with the same options is not changed.
extends_documentation_fragment:
  - brindleway.lightdm.helper
seealso:
  - module: brindleway.lightdm.autologin_info
'''

EXAMPLES = r'''
- name: Log the kiosk user in automatically
  become: true
  brindleway.lightdm.autologin:
    user: kiosk

- name: Turn automatic login off, and take kiosk out of the autologin group
  become: true
  brindleway.lightdm.autologin:
    user: kiosk
    state: disabled

- name: Ask whether LightDM would log signage in, without changing anything
  become: true
  brindleway.lightdm.autologin:
    user: signage
  check_mode: true
  register: verdict
'''

RETURN = r'''
user:
  description: The user named, as the helper quotes it.
  returned: always
  type: str
  sample: kiosk
state:
  description: The state asked for.
  returned: always
  type: str
  sample: enabled
config_file:
  description: The configuration file the helper rewrites.
  returned: when the helper read it
  type: str
  sample: /etc/lightdm/lightdm.conf
group:
  description: The group C(autologin) and what the run changed in it (in check mode, would change).
  returned: always
  type: dict
  contains:
    name:
      description: The group's name.
      type: str
      sample: autologin
    created:
      description: Whether the group was created.
      type: bool
      sample: false
    added:
      description: The members added.
      type: list
      elements: str
      sample: [kiosk]
    removed:
      description: The members taken out.
      type: list
      elements: str
      sample: []
tool_output:
  description: What the account tools printed on standard output.
  returned: always
  type: str
  sample: ''
code:
  description: The helper's code for its refusal, such as C(session-not-installed); the
    message is the task's C(msg).
  returned: failed, where the helper refused
  type: str
  sample: session-not-installed
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.brindleway.lightdm.plugins.module_utils.helper import (
    DEFAULT_HELPER, ask_helper, file_text)


def helper_arguments(params, check_mode):
    """The helper's command line after --json, options before the command word."""
    arguments = ['--dry-run'] if check_mode else []
    if params['state'] == 'enabled':
        return arguments + ['enable', params['user']]
    return arguments + ['disable'] + ([params['user']] if params['user'] else [])


def diffs(answer):
    """Ansible's diff: the file's text and the group's members, each only where it changes."""
    found = []
    changed_file = answer.get('file')
    if changed_file:
        before, after = file_text(changed_file, 'before'), file_text(changed_file, 'after')
        if before != after:
            found.append(dict(before_header=changed_file['path'], after_header=changed_file['path'],
                              before=before, after=after))
    group = answer.get('group') or {}
    added, removed = group.get('added') or [], group.get('removed') or []
    if group.get('created') or added or removed:
        name = group.get('name', 'autologin')
        found.append(dict(
            before_header='group %s%s' % (name, ' (missing)' if group.get('created') else ''),
            after_header='group %s%s' % (name, ' (created)' if group.get('created') else ''),
            before=''.join(member + '\n' for member in removed),
            after=''.join(member + '\n' for member in added)))
    return found


def main():
    module = AnsibleModule(
        argument_spec=dict(
            user=dict(type='str'),
            state=dict(type='str', default='enabled', choices=['enabled', 'disabled']),
            helper=dict(type='path', default=DEFAULT_HELPER),
        ),
        required_if=[('state', 'enabled', ('user',))],
        supports_check_mode=True,
    )
    rc, answer, err = ask_helper(module, *helper_arguments(module.params, module.check_mode))
    refusal = answer.get('refusal')
    result = dict(changed=False, user=answer.get('user'), state=module.params['state'],
                  group=answer.get('group'), tool_output=answer.get('tool_output', ''))
    # Not 'path': Ansible would add that file's owner and mode to the result, over 'group'.
    if answer.get('file'):
        result['config_file'] = answer['file'].get('path')
    if rc != 0 or not answer.get('ok') or refusal:
        # A failure the helper gave no code for (it could not write the file, say) is told on
        # standard error only.
        if refusal:
            module.fail_json(msg=refusal.get('message'), code=refusal.get('code'), rc=rc, **result)
        module.fail_json(msg=err.strip() or 'the helper failed with exit status %d' % rc,
                         code=None, rc=rc, **result)
    result['changed'] = bool(answer.get('changed'))
    if module._diff and result['changed']:
        result['diff'] = diffs(answer)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
