#!/usr/bin/env python3
"""A serial library's own RFC 2217 client reads the frames byte for byte, sets
its end of the line, and the state tells whether that end matches the port.
With --strict-line an end set otherwise reads what its UART would decode, on
the virtual port as over RFC 2217. A pulled cable hangs the virtual port's
reader up and drops the RFC 2217 client's modem lines; put back, both read
frames again.

usage: real_line_readers.py PROGRAM
"""
import os
import sys
import tempfile
import termios
import time
import tty

sys.dont_write_bytecode = True  # no cache files left in the source tree
import serial

from scratch_emulator import Emulator

failures = []


def check(condition, text):
    if not condition:
        failures.append(text)
        print("FAIL:", text, flush=True)


def reader_of(emulator):
    clients = emulator.request("GET", "/state")[1]["rfc2217"]["clients"]
    return [(client["reader"], client["matches"]) for client in clients]


def logged_bytes(emulator):
    frames = emulator.request("GET", "/frames")[1]["frames"]
    return b"".join(bytes.fromhex(frame["hex"]) for frame in frames)


with tempfile.TemporaryDirectory() as scratch:
    link = os.path.join(scratch, "scale")
    emulator = Emulator(sys.argv[1], scratch, extra=["--rfc2217", "0", "--strict-line", "--virtual", link])
    host, port = emulator.announced["rfc2217"].rsplit(":", 1)
    emulator.request("POST", "/period", {"period_ms": "20"})
    line = serial.serial_for_url(f"rfc2217://{host}:{port}", baudrate=9600, timeout=2)
    check((line.cts, line.dsr, line.cd) == (True, True, True), "the modem lines of a plugged-in terminal")
    line.reset_input_buffer()
    got = line.read(12 * 10)
    check(len(got) == 120 and got in logged_bytes(emulator), f"whole frames as they left: {got!r}")
    check(reader_of(emulator) == [("9600,n,8,1", True)], f"9600 8N1 matches: {reader_of(emulator)}")

    # A 0xFF on the line arrives as one byte, not as telnet's escape.
    emulator.request("POST", "/faults", {"garbage": "ff 00 ff"})
    time.sleep(0.2)
    check(b"\xff\x00\xff\x02" in line.read(line.in_waiting or 1) + line.read(200), "0xFF passes as data")

    # "\x02 0000.0Ckg\r" at 9600 8N1, sampled at 4800 from each falling edge:
    # 0 01000000 1 0 00000100 1 ... gives 0 00010000 1 (0x08), and so on.
    line.baudrate = 4800
    time.sleep(0.2)
    line.reset_input_buffer()
    garbage = line.read(60)
    settled = bytes.fromhex("084a4a4938cf")
    check(len(garbage) == 60 and garbage in settled * 21,
          f"at 4800 the frames read as {settled.hex()}: {garbage.hex()}")
    # The same bytes for a program that opens the virtual port at 4800.
    reader = os.open(link, os.O_RDONLY | os.O_NOCTTY)
    tty.setraw(reader)
    attributes = termios.tcgetattr(reader)
    attributes[4] = attributes[5] = termios.B4800
    termios.tcsetattr(reader, termios.TCSANOW, attributes)
    time.sleep(0.2)
    termios.tcflush(reader, termios.TCIFLUSH)
    time.sleep(0.3)
    read = os.read(reader, 60)
    check(len(read) >= 30 and read in settled * 21, f"the virtual port's reader at 4800: {read.hex()}")
    shown = emulator.request("GET", "/state")[1]["virtual"]
    check((shown["reader"], shown["matches"]) == ("4800,n,8,1", False), f"its end in the state: {shown}")
    os.close(reader)

    line.parity = serial.PARITY_EVEN
    time.sleep(0.2)
    check(reader_of(emulator) == [("4800,e,8,1", False)], f"a different end is told: {reader_of(emulator)}")
    line.baudrate, line.parity = 9600, serial.PARITY_NONE
    time.sleep(0.2)
    check(reader_of(emulator) == [("9600,n,8,1", True)], f"and back: {reader_of(emulator)}")
    line.reset_input_buffer()
    got = line.read(12 * 5)
    check(got in logged_bytes(emulator), f"clean frames again: {got!r}")
    # The cable pulled for a while: 20 ms frames, so "one period" is generous at 200 ms.
    reader = os.open(link, os.O_RDONLY | os.O_NOCTTY)
    tty.setraw(reader)
    check(len(os.read(reader, 12)) > 0, "the virtual port's reader reads before the pull")
    written = emulator.request("GET", "/state")[1]["frames_written"]
    emulator.request("POST", "/cable", {"plugged": False})
    pulled_at = time.monotonic()
    try:
        while os.read(reader, 4096):
            pass
        hung_up = True  # end of file
    except OSError:
        hung_up = True  # EIO: the line hung up
    check(hung_up and time.monotonic() - pulled_at < 1, "the reader sees the hang-up at once")
    os.close(reader)
    time.sleep(0.3)
    state = emulator.request("GET", "/state")[1]
    check(state["cable"]["plugged"] is False, "the state shows the cable out")
    check(state["frames_written"] == written or state["frames_written"] == written + 1, "nothing left while out")
    check((line.cd, line.dsr, line.cts) == (False, False, False), "the RFC 2217 client's modem lines dropped")
    emulator.request("POST", "/cable", {"plugged": True})
    time.sleep(0.2)
    check((line.cd, line.dsr, line.cts) == (True, True, True), "and back")
    reader = os.open(link, os.O_RDONLY | os.O_NOCTTY)  # the same path, a new line behind it
    tty.setraw(reader)
    started = time.monotonic()
    check(len(os.read(reader, 12)) > 0 and time.monotonic() - started < 1, "frames again on the same path")
    os.close(reader)
    line.close()
    check(emulator.stop() == 0, "ends cleanly")
    with open(os.path.join(scratch, "stderr")) as file:
        said = file.read()
    # Once when the virtual port's reader set 4800, never for a line nobody set.
    check(said.count(f"The reader at {link} set its end of the line to 4800,n,8,1") == 1
          and said.count(f"The reader at {link}") == 1, f"the virtual port's reader noted once: {said}")

print("FAIL" if failures else "ok")
sys.exit(1 if failures else 0)
