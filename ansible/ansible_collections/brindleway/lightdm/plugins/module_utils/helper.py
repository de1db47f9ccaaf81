# -*- coding: utf-8 -*-
# Copyright: 2026 Brindleway maintainers
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
# SPDX-License-Identifier: GPL-3.0-or-later

"""Asks brindleway-helper on the managed host for its --json answer.

The modules never judge LightDM's files themselves: the helper's answer is the truth, and
what cannot be read as an answer of the one format known here fails the task.
"""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import base64
import json
import os

DEFAULT_HELPER = '/usr/libexec/brindleway-helper'
ANSWER_FORMAT = 1


def ask_helper(module, *args):
    """Runs `HELPER --json ARGS...`; returns (exit status, answer object, standard error).

    Fails the module where the helper is missing or gives no object of ANSWER_FORMAT: an
    older helper answers `Unknown command: --json` on standard error, and that is said.
    """
    helper = module.params['helper']
    if not os.path.exists(helper):
        module.fail_json(msg='%s is not installed on this host (the package brindleway-helper '
                             'installs it)' % helper)
    command = [helper, '--json'] + list(args)
    rc, out, err = module.run_command(command)
    try:
        answer = json.loads(out)
    except ValueError:
        answer = None
    if not isinstance(answer, dict) or answer.get('format') != ANSWER_FORMAT:
        module.fail_json(msg='%s gave no answer of JSON format %d; it may be older than '
                             '--json (see its --version): %s'
                             % (helper, ANSWER_FORMAT, err.strip() or out.strip()),
                         rc=rc, cmd=command, stdout=out, stderr=err)
    for warning in answer.get('warnings') or []:
        module.warn(warning.get('message') or warning.get('code') or str(warning))
    return rc, answer, err


def file_text(file_answer, when):
    """The file's text WHEN ('before' or 'after'), bytes outside UTF-8 as \\xNN; '' if none."""
    text = file_answer.get(when)
    if text is not None:
        return text
    encoded = file_answer.get(when + '_base64')
    if encoded is None:
        return ''
    return base64.b64decode(encoded).decode('utf-8', 'backslashreplace')
