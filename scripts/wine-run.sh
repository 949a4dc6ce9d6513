#!/usr/bin/env bash
# Runs a Windows program under Wine with this checkout's prefix, quietly.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
exec wine "$@"
