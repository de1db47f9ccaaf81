# -*- coding: utf-8 -*-
# Copyright: 2026 Brindleway maintainers
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
# SPDX-License-Identifier: GPL-3.0-or-later

"""Runs a module as Ansible does, in a process of its own, against a fake helper that answers
what a test gives it and writes down the arguments it was called with."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os
import subprocess
import sys

import pytest

COLLECTIONS_ROOT = os.path.abspath(__file__).split(os.sep + 'ansible_collections' + os.sep)[0]

FAKE_HELPER = '''#!%s
import json, sys
with open(%r, 'a') as log:
    log.write(json.dumps(sys.argv[1:]) + '\\n')
with open(%r) as told:
    told = json.load(told)
sys.stdout.write(told['stdout'])
sys.stderr.write(told['stderr'])
sys.exit(told['rc'])
'''


@pytest.fixture
def run_module(tmp_path):
    """run_module(NAME, ARGS, ANSWER, rc=0, stderr='', check=False, diff=False): runs module
    NAME with ARGS against a helper that prints ANSWER (an object, or text as it is) and exits
    rc. Returns (the module's exit status, its result, the helper's argument lists)."""
    helper, told, log = tmp_path / 'helper', tmp_path / 'told.json', tmp_path / 'argv.log'
    helper.write_text(FAKE_HELPER % (sys.executable, str(log), str(told)))
    helper.chmod(0o755)
    log.write_text('')

    def run(name, args, answer, rc=0, stderr='', check=False, diff=False):
        stdout = answer if isinstance(answer, str) else json.dumps(answer) + '\n'
        told.write_text(json.dumps(dict(stdout=stdout, stderr=stderr, rc=rc)))
        module_args = dict(args, helper=args.get('helper', str(helper)),
                           _ansible_check_mode=check, _ansible_diff=diff)
        args_file = tmp_path / 'args.json'
        args_file.write_text(json.dumps(dict(ANSIBLE_MODULE_ARGS=module_args)))
        env = dict(os.environ, PYTHONPATH=os.pathsep.join(
            [COLLECTIONS_ROOT] + [p for p in sys.path if p]))
        done = subprocess.run(
            [sys.executable, '-m', 'ansible_collections.brindleway.lightdm.plugins.modules.' + name,
             str(args_file)], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            cwd=str(tmp_path), check=False)
        assert done.stderr == b'', done.stderr
        calls = [json.loads(line) for line in log.read_text().splitlines()]
        return done.returncode, json.loads(done.stdout), calls
    return run


@pytest.fixture
def collections_root():
    """The folder that holds ansible_collections/brindleway/lightdm."""
    return COLLECTIONS_ROOT
