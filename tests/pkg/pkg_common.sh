# SPDX-License-Identifier: Apache-2.0
# Shared by the packaging test scripts (sourced).
set -euo pipefail

fail() { echo "FAIL: $*" >&2; exit 1; }

# need TOOL PACKAGE: the test cannot judge anything without TOOL, which scripts/setup installs.
need() { command -v "$1" >/dev/null || fail "$1 missing (Debian package $2; scripts/setup installs it)"; }

# The long options a program's --help lists (hidden test options are not listed).
help_options() { "$@" --help 2>&1 | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u; }
