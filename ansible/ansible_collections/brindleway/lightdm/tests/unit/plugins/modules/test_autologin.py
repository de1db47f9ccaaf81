# -*- coding: utf-8 -*-
# Copyright: 2026 Brindleway maintainers
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
# SPDX-License-Identifier: GPL-3.0-or-later

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import base64
import json

import pytest

BEFORE = '[Seat:*]\n#autologin-user=\n'
AFTER = '[Seat:*]\nautologin-user=alice\n'


def answer(changed=True, refusal=None, before=BEFORE, after=AFTER, added=(), removed=(),
           created=False, warnings=(), **file_fields):
    """A result object as the helper gives it."""
    return {
        'format': 1, 'command': 'enable', 'user': 'alice', 'dry_run': False,
        'ok': refusal is None, 'changed': changed, 'refusal': refusal,
        'warnings': list(warnings),
        'file': dict(dict(path='/etc/lightdm/lightdm.conf', before=before, after=after),
                     **file_fields),
        'group': {'name': 'autologin', 'created': created, 'added': list(added),
                  'removed': list(removed)},
        'tool_output': '',
    }


STATUS = {'format': 1, 'state': 'enabled', 'user': 'alice', 'timeout': 0, 'guest': False,
          'background': False, 'seats': [], 'settings': [], 'session': None,
          'checks': {'pam': {'result': 'pass', 'code': None, 'message': None}}, 'warnings': []}


# The options, check mode, and the helper's command line they give: options before the word.
# autologin_info asks the same in check mode, and hands the status on whole.
@pytest.mark.parametrize('name, args, check, told, argv', [
    ('autologin', {'user': 'alice'}, False, answer(), ['--json', 'enable', 'alice']),
    ('autologin', {'user': 'alice', 'state': 'enabled'}, True, answer(),
     ['--json', '--dry-run', 'enable', 'alice']),
    ('autologin', {'state': 'disabled'}, False, answer(), ['--json', 'disable']),
    ('autologin', {'state': 'disabled', 'user': 'bob'}, True, answer(),
     ['--json', '--dry-run', 'disable', 'bob']),
    ('autologin_info', {}, False, STATUS, ['--json', 'status']),
    ('autologin_info', {}, True, STATUS, ['--json', 'status']),
])
def test_command_line(run_module, name, args, check, told, argv):
    status, result, calls = run_module(name, args, told, check=check)
    assert (status, result['changed'], calls) == (0, name == 'autologin', [argv])
    if name == 'autologin_info':
        assert result['autologin'] == dict((k, v) for k, v in STATUS.items() if k != 'format')


def test_changed_is_the_helpers_answer(run_module):
    status, result, _ = run_module('autologin', {'user': 'alice'}, answer(changed=False,
                                   after=BEFORE), diff=True)
    assert (status, result['changed'], 'diff' in result) == (0, False, False)
    assert result['config_file'] == '/etc/lightdm/lightdm.conf'


def test_diff_shows_the_file_and_the_group(run_module):
    _, result, _ = run_module('autologin', {'user': 'alice'},
                              answer(added=['alice'], removed=['bob'], created=True),
                              check=True, diff=True)
    assert result['diff'] == [
        {'before_header': '/etc/lightdm/lightdm.conf', 'after_header': '/etc/lightdm/lightdm.conf',
         'before': BEFORE, 'after': AFTER},
        {'before_header': 'group autologin (missing)', 'after_header': 'group autologin (created)',
         'before': 'bob\n', 'after': 'alice\n'},
    ]
    assert result['group']['added'] == ['alice']


def test_diff_of_a_file_that_is_not_utf8(run_module):
    raw = b'[Seat:*]\n# caf\xe9\n'
    encoded = base64.b64encode(raw).decode()
    _, result, _ = run_module('autologin', {'user': 'alice'},
                              answer(before=None, after=None, before_base64=encoded,
                                     after_base64=base64.b64encode(raw + b'x=1\n').decode()),
                              diff=True)
    assert result['diff'][0]['before'] == '[Seat:*]\n# caf\\xe9\n'
    assert result['diff'][0]['after'] == '[Seat:*]\n# caf\\xe9\nx=1\n'


def test_warnings_reach_the_play(run_module):
    _, result, _ = run_module('autologin', {'user': 'alice'}, answer(warnings=[
        {'code': 'group-not-changed', 'message': 'Warning: could not add alice'}]))
    # ansible-core 2.19 gives each warning as an object around the text.
    assert len(result['warnings']) == 1
    assert 'Warning: could not add alice' in json.dumps(result['warnings'])


# Every way the task fails, with the message the play shows and the code it returns.
@pytest.mark.parametrize('name, args, told, rc, stderr, msg, code', [
    ('autologin', {'user': 'root'},
     answer(changed=False, refusal={'code': 'uid-zero', 'message': 'Cannot enable: uid 0'}),
     1, 'Cannot enable: uid 0\n', 'Cannot enable: uid 0', 'uid-zero'),
    # A failure the helper has no code for: the message is its standard error.
    ('autologin', {'user': 'alice'}, dict(answer(changed=False), ok=False), 1,
     'Cannot write /etc/lightdm/lightdm.conf: No space left on device\n',
     'Cannot write /etc/lightdm/lightdm.conf: No space left on device', None),
    ('autologin_info', {}, dict(STATUS, state='other'), 1, 'Cannot read lightdm.conf\n',
     'Cannot read lightdm.conf', None),
    # A helper older than --json.
    ('autologin', {'user': 'alice'}, '', 1, 'Unknown command: --json\n',
     'gave no answer of JSON format 1; it may be older than --json (see its --version): '
     'Unknown command: --json', None),
    ('autologin_info', {}, dict(STATUS, format=2), 0, '', 'gave no answer of JSON format 1', None),
    ('autologin', {'user': 'alice'}, '{"format": 1', 0, '', 'gave no answer of JSON format 1', None),
    ('autologin', {'user': 'alice', 'helper': '/nonexistent/brindleway-helper'}, answer(), 0, '',
     '/nonexistent/brindleway-helper is not installed on this host', None),
    ('autologin', {'state': 'enabled'}, answer(), 0, '', 'missing: user', None),
])
def test_failures(run_module, name, args, told, rc, stderr, msg, code):
    status, result, _ = run_module(name, args, told, rc=rc, stderr=stderr)
    assert (status, result['failed']) == (1, True)
    assert msg in result['msg']
    assert result.get('code') == code
