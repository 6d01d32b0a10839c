"""The simplest reader a user might write instead of Tamsel, for comparison
in the benchmark: send the start command, store each data frame's payload as
a line, answer "OK". No stamps, no flash, no checks.

Usage: python3 tools/plain_reader.py DEVICE OUTPUT
"""

import os
import sys
import tty

device, output = sys.argv[1], sys.argv[2]
port = os.open(device, os.O_RDWR | os.O_NOCTTY)
tty.setraw(port)
os.write(port, b"@BS\r")
with open(output, "ab") as out:
    pending = b""
    while True:
        pending += os.read(port, 256)
        while b"\r" in pending:
            frame, pending = pending.split(b"\r", 1)
            frame = frame[frame.rfind(b"@"):]
            if frame[1:3] == b"DT" and frame[7:9] == b"I4":
                out.write(frame[10:] + b"\r\n")
                out.flush()
                os.write(port, b"@DT" + frame[5:7] + b"I4" + frame[9:10] + b"OK\r")
