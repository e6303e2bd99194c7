#!/usr/bin/env bash
# Sets everything up, installs the module into .venv and runs tools/demo.py
# with the given arguments, from the directory it was called in.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/tools/setup.sh"

export PATH=$root/.venv/bin:$PATH
(cd "$root" && python -m pip install --disable-pip-version-check -q .)
exec python "$root/tools/demo.py" "$@"
