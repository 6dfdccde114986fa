#!/usr/bin/env bash
# The demo: installs what is missing, builds the linux preset (so that `ctest --preset linux`
# runs straight after), and lists the chassis of the simulator's built-in machine through the
# finder module, as a resource host would. Arguments go to the probe (e.g. --json, --diagnose).
# With ZU_DEMO_BIN naming a built bin/ folder, nothing is installed or built (the README's
# examples run this way from inside the tests, which must not build the tree they run from).
set -euo pipefail
root=$(cd -P "$(dirname "$0")/.." && pwd)

bin=${ZU_DEMO_BIN:-}
if [ -z "$bin" ]; then
    # In the repository's root, where the presets are, but the probe runs in the caller's
    # folder: a relative ZUPCIBRD_SIM_TOPOLOGY or --record path means what the caller meant.
    (
        cd "$root"
        bash scripts/install-deps.sh
        mkdir -p build
        if ! { cmake --preset linux && cmake --build --preset linux -j "$(nproc)"; } >build/demo.log 2>&1; then
            tail -n 40 build/demo.log >&2
            echo "demo: the build failed; the whole log is $root/build/demo.log" >&2
            exit 1
        fi
    )
    bin=$root/build/linux/bin
fi

# The built-in machine unless the caller names a topology file.
exec "$bin/zu7461-probe" "$@"
