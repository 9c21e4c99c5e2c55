#!/usr/bin/env bash
# The soak: 300 cycles of open, I/O block read and write-back, identity
# dialog, close in one tzdebug.exe under Wine. Exit status 1 when a figure
# grew by more than 5 %. Built and run like the block benchmark.
exec "$(dirname "${BASH_SOURCE[0]}")/bench-e2e.sh" soak
