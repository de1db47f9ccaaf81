# -*- coding: utf-8 -*-
# Copyright: 2026 Brindleway maintainers
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
# SPDX-License-Identifier: GPL-3.0-or-later

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import pytest

CHECK = {'result': 'pass', 'code': None, 'message': None}
STATUS = {
    'format': 1, 'state': 'enabled', 'user': 'alice', 'timeout': 0, 'guest': False,
    'background': False, 'seats': [],
    'settings': [{'key': 'autologin-user', 'value': 'alice', 'file': '/etc/lightdm/lightdm.conf',
                  'section': 'Seat:*', 'line': 2}],
    'session': None,
    'checks': dict((name, CHECK) for name in
                   ('configuration', 'pam', 'session', 'home', 'display_manager')),
    'warnings': [],
}


@pytest.mark.parametrize('check', [False, True])
def test_status_in_and_out_of_check_mode(run_module, check):
    status, result, calls = run_module('autologin_info', {}, STATUS, check=check)
    expected = dict(STATUS)
    del expected['format']
    assert (status, result['changed'], result['autologin'], calls) == \
        (0, False, expected, [['--json', 'status']])


def test_a_status_that_fails_fails_the_task(run_module):
    status, result, _ = run_module('autologin_info', {}, dict(STATUS, state='other'), rc=1,
                                   stderr='Cannot read /etc/lightdm/lightdm.conf: Permission denied\n')
    assert (status, result['msg']) == (1, 'Cannot read /etc/lightdm/lightdm.conf: Permission denied')
