#!/usr/bin/env bash
# Seeds for strtoint: the limits of a 32-bit value and just past them, signs, spaces and
# text after the digits.
set -euo pipefail
n=0
for text in 0 7 -1 +12 2147483647 -2147483648 2147483648 -2147483649 99999999999999999999 \
    "  42" "12abc" "-" "+" "0x1F" "007" "1 2" 'dir\file'; do
  printf '%s' "$text" > "$1/seed$((n++))"
done
