#!/usr/bin/env bash
# Short runs of the soak (every function, valid and invalid calls; memory,
# reference counts and results checked) and of the stress run (threads on
# shared inputs while a list changes under them), against the module
# installed into .venv by tools/test.sh. About a minute in all; DEVELOPERS.md
# tells how to run them longer.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
python=$root/.venv/bin/python

"$python" "$root/tools/soak.py" --calls 200000
"$python" "$root/tools/stress.py" --seconds 30
