#!/usr/bin/env bash
# The demo: installs what is missing, builds the finder, the simulated bridge driver library
# and the probe tool, and lists the chassis of the simulator's built-in machine through the
# finder module, as a resource host would. Arguments go to the probe (e.g. --json, --diagnose).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target zu7461 zupcibrd zu7461-probe -j "$(nproc)" >/dev/null

# The built-in machine unless the caller names a topology file.
exec build/linux/bin/zu7461-probe "$@"
