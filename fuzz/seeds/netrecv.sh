#!/usr/bin/env bash
# Seeds for netrecv. An input is segments, each a size byte and that many bytes of the
# stream; the stream is messages, each a 4-byte little-endian length and its data.
set -euo pipefail
seed() { printf "$2" > "$1/$3"; }
# One message whole in one segment.
seed "$1" '\x09\x05\x00\x00\x00hello' one
# Two messages whose lengths and data are cut across segments.
seed "$1" '\x03\x02\x00\x00\x06\x00hi\x03\x00\x00\x04\x00abc' split
# An empty message, then one more.
seed "$1" '\x04\x00\x00\x00\x00\x05\x01\x00\x00\x00z' empty
# A length the engine refuses.
seed "$1" '\x04\xff\xff\xff\x7f' refused
