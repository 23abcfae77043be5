#!/usr/bin/env bash
# Seeds for httpanswer. The first byte: bits 0-1 the request (0 GET, 1 POST, 2 HEAD), bit 2
# a memory body, bit 3 the server closes at the end; then segments, each a size byte and
# that many bytes of the answer (a size of 0 closes the server there).
set -euo pipefail
seed() { printf "$2" > "$1/$3"; }
# A whole answer with a length, into memory, the server staying.
seed "$1" '\x04\x2dHTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello' length
# No length, into a file, the body ended by the close.
seed "$1" '\x08\x13HTTP/1.0 200 OK\r\n\r\n\x04body\x00' close
# The status line and a header cut across segments.
seed "$1" '\x0c\x05HTTP/\x0c1.0 404 No\r\n\x02\r\n' split
# A HEAD with its length.
seed "$1" '\x0a\x28HTTP/1.0 200 OK\r\nContent-Length: 12345\r\n\r\n' head
# A length past 32 bits.
seed "$1" '\x0c\x37HTTP/1.0 200 OK\r\nContent-Length: 4294967301\r\n\r\nhello' wide
