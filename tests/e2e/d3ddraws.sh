#!/usr/bin/env bash
# The Direct3D draws (tests/e2e/d3ddraws.cpp) on a real X display: the window shows the frame
# the headless run keeps, as textlines.sh checks it.
#   d3ddraws.sh <d3ddraws executable>
exec "$(dirname "$0")/textlines.sh" "$1" d3ddraws
