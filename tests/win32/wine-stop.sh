#!/usr/bin/env bash
# Ends the Wine session of the test prefix (run inside tests/win32/wine-env.sh).
set -euo pipefail
"${VELLUM_WINESERVER:?run inside tests/win32/wine-env.sh}" -k 2>/dev/null || true
