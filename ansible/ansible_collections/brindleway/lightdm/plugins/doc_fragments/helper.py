# -*- coding: utf-8 -*-
# Copyright: 2026 Brindleway maintainers
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
# SPDX-License-Identifier: GPL-3.0-or-later

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):
    # What every module that asks the helper shares: where the helper is, and what it needs.
    DOCUMENTATION = r'''
options:
  helper:
    description:
      - The helper's path on the managed host.
    type: path
    default: /usr/libexec/brindleway-helper
requirements:
  - brindleway-helper with its C(--json) answers, on the managed host
  - Python 3 on the managed host
attributes:
  platform:
    support: full
    platforms: posix
    description: Debian 12 and 13, or any host where C(brindleway-helper) runs.
'''
