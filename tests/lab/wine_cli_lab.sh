#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# quillon-cli-lab.exe (the lab's build, with shortened timings) under Wine, as wine_cli.sh runs
# quillon-cli.exe. Environment: QL_CLI_LAB_EXE, and what wine_cli.sh needs.
QL_CLI_EXE=$QL_CLI_LAB_EXE exec "$(dirname "$0")/wine_cli.sh" "$@"
