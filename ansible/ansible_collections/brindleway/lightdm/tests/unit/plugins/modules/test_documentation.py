# -*- coding: utf-8 -*-
# Copyright: 2026 Brindleway maintainers
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
# SPDX-License-Identifier: GPL-3.0-or-later

"""What ansible-doc shows is what each module takes: the documented options against the
arguments that the module really declares, and the attributes against its check mode."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import importlib
import json
import os
import subprocess
import sys

import pytest
import yaml

MODULES = ['autologin', 'autologin_info']


class Built(Exception):
    pass


def built_arguments(name, monkeypatch):
    """The keyword arguments the module's main() gives AnsibleModule."""
    module = importlib.import_module('ansible_collections.brindleway.lightdm.plugins.modules.' + name)

    def capture(**kwargs):
        raise Built(kwargs)
    monkeypatch.setattr(module, 'AnsibleModule', capture)
    with pytest.raises(Built) as built:
        module.main()
    return module, built.value.args[0]


@pytest.mark.parametrize('name', MODULES)
def test_ansible_doc_matches_the_argument_spec(name, monkeypatch, tmp_path, collections_root):
    # ansible-test units hides all of ansible but module_utils from the tests: ansible-doc runs
    # without its PYTHONPATH.
    env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=collections_root, HOME=str(tmp_path))
    env.pop('PYTHONPATH', None)
    shown = json.loads(subprocess.check_output(
        [sys.executable, '-m', 'ansible.cli.doc', '--json', 'brindleway.lightdm.' + name], env=env))
    doc = shown['brindleway.lightdm.' + name]
    module, declared = built_arguments(name, monkeypatch)
    options = doc['doc']['options']
    assert sorted(options) == sorted(declared["argument_spec"])
    for option, rule in declared["argument_spec"].items():
        for field in ('type', 'default', 'choices', 'required', 'elements'):
            assert options[option].get(field) == rule.get(field), (option, field)
    # An option required only with another's value says so in its description.
    for key, value, required in declared.get('required_if', []):
        for option in required:
            assert 'C(%s=%s)' % (key, value) in ' '.join(options[option]['description'])
    attributes = doc['doc']['attributes']
    assert set(attributes) == {'check_mode', 'diff_mode', 'platform'}
    assert (attributes['check_mode']['support'] == 'full') == declared['supports_check_mode']
    assert doc['doc']['module'] == name
    assert all(task['name'] for task in yaml.safe_load(module.EXAMPLES))
    assert yaml.safe_load(module.RETURN) == doc['return']
