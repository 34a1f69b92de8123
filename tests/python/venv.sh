#!/usr/bin/env bash
# The quavr package as a user installs it: its wheel, with LIBRARY bundled, installed into a fresh
# virtual environment VENV made by Debian's python3, its system packages visible (pytest, pygame)
# and nothing fetched from an index.
#   venv.sh LIBRARY VENV
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$2" "$2.dist"
wheel=$("$root/packaging/python-wheel.sh" "$1" "$2.dist")
/usr/bin/python3 -m venv --system-site-packages "$2"
"$2/bin/pip" install --no-index --no-deps "$wheel"
