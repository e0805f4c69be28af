#!/usr/bin/env python3
# The poller a kiosk programmer writes in an afternoon: the status poll out,
# the reply read until its announced length, its checksum checked, a sleep
# until the next poll. poll_bench runs it beside the host to compare with.
# With --pyserial it opens the line with pyserial, as most such pollers do;
# else with the standard library alone.
#   naive_poller.py [--pyserial] DEVICE POLLS INTERVAL_MS POLL_FRAME_HEX
# Says "ready", waits for a byte on stdin, then polls and prints
# "cpu-seconds context-switches polls elapsed-seconds".
import os, resource, sys, termios, time

def usage():
    u = resource.getrusage(resource.RUSAGE_SELF)
    return u.ru_utime + u.ru_stime, u.ru_nvcsw + u.ru_nivcsw

args = sys.argv[1:]
pyserial = args[0] == "--pyserial"
if pyserial:
    import serial
    args = args[1:]
device, polls, interval, frame = args[0], int(args[1]), int(args[2]) / 1000, bytes.fromhex(args[3])
if pyserial:
    line = serial.Serial(device, 9600, timeout=0.5)
    write, read = line.write, lambda want: line.read(want)
else:
    fd = os.open(device, os.O_RDWR | os.O_NOCTTY)
    attrs = termios.tcgetattr(fd)
    attrs[0] = attrs[1] = attrs[3] = 0
    attrs[2] = termios.CS8 | termios.CREAD | termios.CLOCAL
    attrs[4] = attrs[5] = termios.B9600
    attrs[6][termios.VMIN], attrs[6][termios.VTIME] = 0, 5  # a missing reply ends the read after 0.5 s
    termios.tcsetattr(fd, termios.TCSANOW, attrs)
    write, read = lambda b: os.write(fd, b), lambda want: os.read(fd, 512)
print("ready", flush=True)
sys.stdin.read(1)
cpu0, switches0 = usage()
start = next_poll = time.monotonic()
good = 0
for _ in range(polls):
    write(frame)
    reply = b""
    want = 4
    while len(reply) < want:
        piece = read(want - len(reply))
        if not piece:
            break
        reply += piece
        if len(reply) >= 4:
            want = reply[2] * 256 + reply[3]
    check = (0x10000 - sum(reply[:-2])) & 0xFFFF
    good += len(reply) >= 7 and reply[-2] * 256 + reply[-1] == check
    next_poll += interval
    time.sleep(max(0, next_poll - time.monotonic()))
cpu1, switches1 = usage()
print(f"{cpu1 - cpu0:.9f} {switches1 - switches0} {polls} {time.monotonic() - start:.6f}", flush=True)
sys.exit(0 if good == polls else 1)
