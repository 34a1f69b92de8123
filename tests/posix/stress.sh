#!/usr/bin/env bash
# The threaded stress test under ThreadSanitizer: as in CI (100 000 calls), or with --long for
# SECONDS (default 300) of calls. Run scripts/test first, which builds build-tsan/.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [[ ${1:-} == --long ]]; then export QUAVR_STRESS_SECONDS=${2:-300}; fi
TSAN_OPTIONS=halt_on_error=1 "$root/build-tsan/tests/quavr_threaded_tests"
