#!/usr/bin/env python3
"""Writes the seed corpus of program_fuzz (tests/fuzz/corpus/program): one small input
per arm of the decoder and per fault at binding. The layout is the one program_fuzz.cpp
decodes: a header (flags, fault, volume, mute, state, process ID, and the volume and
state of a change at registration), then events (opcode, arguments)."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "program")

NOTIFY, STATE, DISCONNECT, EXPIRE, CLICK, COMMAND, RESIZE, INVALIDATE, TICK = range(9)


def header(flags=0, fault=0, volume=0.5, mute=0, state=1, pid=4242, reg_volume=0.37, reg_state=0):
    return struct.pack("<BBfiiIfi", flags, fault, volume, mute, state, pid, reg_volume, reg_state)


def notify(volume_bits, mute):
    return struct.pack("<BIi", NOTIFY, volume_bits, mute)


def f32(value):
    return struct.unpack("<I", struct.pack("<f", value))[0]


def tick(ms=30):
    return struct.pack("<BH", TICK, ms)


seeds = {
    "bound-quiet": header(),
    "notify-odd-floats": header()
    + notify(0x7FC00000, 5)  # NaN, mute 5
    + tick()
    + notify(0x80000000, 0)  # -0.0
    + notify(0x7F800000, 1)  # +infinity
    + notify(0x00000001, -1)  # smallest denormal
    + tick(),
    "state-any-value": header() + struct.pack("<Bi", STATE, 7) + tick() + struct.pack("<Bi", STATE, -1),
    "disconnect-and-expire": header() + struct.pack("<Bi", DISCONNECT, 3) + struct.pack("<Bi", DISCONNECT, -9) + bytes([EXPIRE]) + tick(),
    "five-clicks": header() + b"".join(struct.pack("<BB", CLICK, i) for i in (0, 1, 2, 3, 4, 4)) + tick(),
    "commands": header() + b"".join(struct.pack("<BI", COMMAND, w) for w in (111, 100, 0x00010071, 0xFFFFFFFF)),
    "resizes": header() + b"".join(struct.pack("<BHH", RESIZE, w, h) for w in (32767, 0, 100) for h in (32767, 0)) + notify(f32(0.73), 0),
    "invalidations": header() + struct.pack("<BBhhhh", INVALIDATE, 0, 0, 130, 200, 150) + notify(f32(0.25), 1)
    + struct.pack("<BBhhhh", INVALIDATE, 3, 0, 0, 0, 0) + tick(),
    "ticks": header() + tick(0) + tick(29) + tick(1999),
    "read-failures": header(flags=0x02 | 0x04 | 0x08 | 0x10),
    "reads-fail-with-simple-volume": header(flags=0x04 | 0x08 | 0x10, volume=0.8, mute=1, state=1),
    "mute-five-at-binding": header(mute=5) + struct.pack("<BB", CLICK, 4),
    "shared-process-and-system-sounds": header(flags=0x20 | 0x01, pid=0xFFFFFFFF),
    "change-at-registration": header(flags=0x40, reg_volume=float("nan"), reg_state=2) + tick(),
    # A shared process's ID, then a GetProcessId that fails: the failure is what counts.
    "unbound-fault-over-shared-process": header(flags=0x80 | 0x20, fault=2),
}
for fault in range(11):
    seeds["unbound-fault-%02d" % fault] = header(flags=0x80, fault=fault) + notify(f32(0.1), 1) + struct.pack("<BB", CLICK, 1)

os.makedirs(OUT, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
print("%d seeds in %s" % (len(seeds), OUT))
