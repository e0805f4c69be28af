#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target, one file per case, into
fuzz/corpus/<target>/. The inputs are the targets' little scripts (see each
target's source for the bytes it reads); run this again after changing one."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def frame(ext, code, data):
    body = ([0x02, 0x00, (7 + len(data)) >> 8, (7 + len(data)) & 0xFF] if ext else [0x02, (4 + len(data)) & 0xFF])
    body += [code] + list(data)
    check = (0x10000 - sum(body)) & 0xFFFF
    return body + ([check >> 8, check & 0xFF] if ext else [check & 0xFF])


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes(data))


# fuzz_link_receive: ext, setup, [bill table], limit (2), then operations.
TICK, WRITE, RAW, FRAME, STATUS, REQUEST, MODE, DOWNLOAD, INTERRUPT, PAGE, RESET, EXTENDED = range(12)


def link(ext, setup, ops, table=None, limit=0):
    out = [ext, setup]
    if setup & 1:
        out += table if table else ([5, 0, 10, 0, 20, 0, 50, 0, 100, 0, 200, 0, 50, 1] if ext else [0x50, 0xA0, 0x21, 0x51, 0xA1, 0x22, 0x52])
    return out + [limit >> 8, limit & 0xFF] + ops


def status_op(data, change=0, cut=0):
    return [STATUS, len(data)] + list(data) + [change, cut]


def frame_op(code, data, change=0, cut=0):
    return [FRAME, code, len(data)] + list(data) + [change, cut]


def raw_op(data):
    return [RAW, len(data)] + list(data)


POLL = [TICK, WRITE]
link_cases = {
    "poll-idle-extended": link(1, 0x10, POLL + status_op([0, 1, 0, 0, 0, 0], cut=3)),
    "poll-idle-standard": link(0, 0x10, POLL + status_op([0, 1, 0], cut=2)),
    "escrow-auto-accept": link(1, 0x13, POLL + status_op([0x20, 0x02, 0, 1, 0, 0]) + POLL + POLL),
    "escrow-over-limit-returns": link(1, 0x17, POLL + status_op([0x20, 0x02, 0, 5, 0, 0]) + POLL, limit=50),
    "bill-stacked": link(1, 0x11, POLL + status_op([0x80, 0x08, 0, 3, 0, 0]) + POLL),
    "bill-stacked-standard": link(0, 0x11, POLL + status_op([0x83, 0x08, 0])),
    "coupon-stacked": link(1, 0x11, POLL + status_op([0x80, 0x08, 0, 16, 0, 0, 0, 0, 0, 0, 0] + list(b"C0FFEE") + [0])),
    "stacked-before-table": link(1, 0x10, POLL + status_op([0x80, 0x08, 0, 2, 0, 0]) + POLL
                                 + frame_op(0xE5, [2, 1, 69, 85, 82, 5, 0, 2, 69, 85, 82, 10, 0]) + POLL
                                 + status_op([0, 1, 0, 0, 0, 0])),
    "status-corrupted-byte": link(1, 0x11, POLL + status_op([0x80, 0x08, 0, 3, 0, 0], change=0x85, cut=0) + [0x40]),
    "status-cut-in-two": link(1, 0x10, POLL + status_op([0, 1, 0, 0, 0, 0], cut=5)),
    "garbage-then-frame": link(1, 0x10, POLL + raw_op([0xFF, 0x00, 0x13, 0x55]) + POLL + status_op([0, 1, 0, 0, 0, 0])),
    "announce-oversize": link(1, 0x10, POLL + raw_op([0x02, 0x00, 0xFF, 0xFF, 0xCC, 0, 1]) + POLL + status_op([0, 1, 0, 0, 0, 0])),
    "announce-undersize": link(1, 0x10, POLL + raw_op([0x02, 0x00, 0x00, 0x02, 0xCC, 0, 1]) + POLL + status_op([0, 1, 0, 0, 0, 0])),
    "announce-standard-undersize": link(0, 0x10, POLL + raw_op([0x02, 0x02, 0xCC, 0x30]) + POLL),
    "two-frames-in-one-chunk": link(1, 0x10, POLL + raw_op(frame(1, 0xCC, [0, 1, 0, 0, 0, 0]) * 2)),
    "interrupt-unsolicited": link(1, 0x19, [RESET] + raw_op(frame(1, 0xCC, [0x80, 8, 0, 1, 0, 0]))
                                  + raw_op(frame(1, 0xCC, [0, 1, 0, 0, 0, 0]))),
    "unsupported-reply": link(1, 0x10, [REQUEST, 0xC4, TICK, WRITE] + frame_op(0x13, [])),
    "startup-reads": link(1, 0x01, (POLL + status_op([0, 1, 0, 0, 0, 0])) * 4),
    "credit-table-reply": link(1, 0x10, [REQUEST, 0xE5, TICK, WRITE]
                               + frame_op(0xE5, [8] + [1, 69, 85, 82, 5, 0] + [2, 69, 85, 82, 10, 1]) + POLL),
    "download-mode": link(1, 0x10, [MODE, 1, DOWNLOAD, 5, 3] + POLL + raw_op([0x06, 0x01, 0x02]) + [DOWNLOAD, 30, 0] + POLL),
    "upload-mode": link(1, 0x10, [MODE, 2] + POLL + raw_op([0x11] * 135) + raw_op([0x22] * 133) + raw_op([0x33] * 133)),
    "mode-back-to-protocol": link(1, 0x10, [MODE, 1] + POLL + raw_op([1, 2, 3]) + [MODE, 0, RESET] + POLL
                                  + status_op([0, 1, 0, 0, 0, 0])),
    "extended-off-while-closed": link(1, 0x10, [EXTENDED, 0] + POLL + status_op([0, 1, 0])),
    "video-page-rejection": link(1, 0x11, [PAGE, 1, 4] + POLL + status_op([0x07, 0x10, 0, 0, 0, 0])),
}
# Each page's read asked for and answered, so the fuzzer starts inside every reply reader.
page_reads = {
    "read-stats": (0xDD, [i & 0xFF for i in range(1, 400)]),
    "read-rtc": (0xD1, [0x26, 0x12, 0x10, 0x04, 0x14, 0x30, 0x15]),
    "read-setup": (0xE1, [0x04]),
    "read-prog-rev": (0xD8, list(b"L8VQA034")),
    "read-serial": (0xD2, list(b"12345678")),
    "read-optics": (0xE8, [i & 0xFF for i in range(392)]),
    "read-bill-counter": (0xDA, [0x00, 0x01, 0x2C]),
    "read-counters": (0xD7, [0, 0, 5, 0, 0, 9, 0, 0, 1]),
    "read-cassette-bills": (0xDC, [0, 3] + [0, 0, 0, 1] * 8),
    "read-cassette-faults": (0xDB, [1, 2, 3, 4, 5]),
}
def raw_frame_ops(ext, code, data):
    """A whole frame as raw chunks of at most 255 bytes: replies longer than a frame op holds."""
    whole = frame(ext, code, data)
    out = []
    for at in range(0, len(whole), 255):
        out += raw_op(whole[at:at + 255])
    return out


for name, (code, data) in page_reads.items():
    for ext in (1, 0):
        body = data if ext else data[:240]
        link_cases[name + ("" if ext else "-standard")] = link(
            ext, 0x10, [REQUEST, code, TICK, WRITE] + raw_frame_ops(ext, code, body) + POLL)

for name, data in link_cases.items():
    write("fuzz_link_receive", name, data)


# fuzz_status_decoder: ext, bills, flags, limit, total, escrow value, previous, pages, startup, operations.
def stores(ext, bills, flags, limit=9999, total=0, value=0, previous=(0,) * 6, lower=0, upper=0, startup=0):
    out = [ext, len(bills)]
    for t, v in bills:
        out += [t, 69, 85, 82] + list(struct.pack(">i", v))
    out += [flags] + list(struct.pack(">i", limit)) + list(struct.pack(">i", total)) + list(struct.pack(">i", value))
    return out + list(previous) + [lower, upper, startup]


def st(data):
    return [0, len(data)] + list(data)


BILLS = [(1, 5), (2, 10), (3, 20), (16, 1)]
status_cases = {
    "idle": stores(1, BILLS, 0x03) + st([0, 1, 0, 0, 0, 0]),
    "escrow-accept": stores(1, BILLS, 0x03) + st([0x20, 2, 0, 1, 0, 0]) + [2, 2],
    "escrow-limit-return": stores(1, BILLS, 0x07, limit=12, total=10) + st([0x20, 2, 0, 3, 0, 0]) + [2],
    "escrow-no-event-bit": stores(1, BILLS, 0x03) + st([0x20, 2, 0, 1, 1, 0]),
    "stacked": stores(1, BILLS, 0x03) + st([0x80, 8, 0, 2, 0, 0]),
    "stacked-standard": stores(0, BILLS, 0x03) + st([0x82, 8, 0]),
    "coupon": stores(1, BILLS, 0x03) + st([0x80, 8, 0, 16, 0, 0, 0, 0, 0, 0, 0] + list(b"TICKET42") + [0]),
    "stacked-table-unknown": stores(1, BILLS, 0x02) + st([0x80, 8, 0, 1, 0, 0]) + [2],
    "rejection-reasons": stores(1, BILLS, 0x03) + st([0x07, 0x10, 0, 0, 0, 0]) + st([0x0E, 0x10, 0, 0, 0, 0]),
    "faults": stores(1, BILLS, 0x03) + st([0, 1, 0x3F, 0, 0, 0]) + st([0, 1, 0xC0, 0, 0, 0]) + st([0, 1, 0, 0, 0, 0]),
    "power-up-vla": stores(1, BILLS, 0x63, lower=4) + st([0, 0x40, 0, 0, 0, 0]),
    "vla-inhibited": stores(1, BILLS, 0x63, lower=4) + st([0, 1, 0x80, 0, 0, 0]),
    "corrupted-stacked": stores(1, BILLS, 0x03) + [1, 6, 0x80, 8, 0, 2, 0, 0, 3, 0x40],
    "large-values": stores(1, [(1, 0x7FFFFFFF), (2, -5)], 0x07, limit=0x7FFFFFFF, total=0x7FFFFFF0)
                    + st([0x20, 2, 0, 1, 0, 0]) + [2],
    "user-accept": stores(1, BILLS, 0x01, value=5) + [3, 1, 2],
    "statistics-page-idle": stores(1, BILLS, 0x03, lower=1, previous=(0, 2, 0, 0, 0, 0)) + st([0, 1, 0, 0, 0, 0]),
}
for name, data in status_cases.items():
    write("fuzz_status_decoder", name, data)


# fuzz_settings_file: choice, path length (2), path, file.
def settings(choice, path, content):
    return [choice, len(path) >> 8, len(path) & 0xFF] + list(path) + list(content)


settings_cases = {
    "empty": settings(0, b"", b""),
    "index-three": settings(3, b"", b"Val_Port_Num:3\r\n"),
    "index-out-of-range": settings(1, b"", b"Val_Port_Num:9\r\n"),
    "device-line": settings(0x82, b"dev/ttyUSB0", b"Val_Port_Num:2\r\nVal_Port_Path:3=/dev/ttyUSB0\r\n"),
    "device-line-no-slash": settings(0, b"", b"Val_Port_Num:0\r\nVal_Port_Path:1=ttyS0\r\n"),
    "longer-old-content": settings(1, b"", b"Val_Port_Num:5\r\nsomething left from before\r\n"),
    "bare-lf": settings(0x85, b"dev/serial/by-id/usb-x", b"Val_Port_Num:4\nVal_Port_Path:5=/dev/x\n"),
    "path-with-line-end": settings(0x80, b"dev/tty\nUSB0", b"Val_Port_Num:0\r\n"),
    "garbage": settings(2, b"", bytes(range(256))),
}
for name, data in settings_cases.items():
    write("fuzz_settings_file", name, data)


# fuzz_capture_trace: odd first byte: capture text; even: frames (gap u16, gap factor, sent, length-1, bytes).
capture_text = (b"T( 00001234 ms)CMD[ 02 00 00 07 CC FF 2D ]  :  T( 00001240 ms)MSG[ 02 00 00 0D CC 00 01 00 00 00 00 FE F2 ]\r\n")
capture_cases = {
    "text-one-exchange": b"\x01" + capture_text,
    "text-lower-case-hex": b"\x01T( 00000001 ms)MSG[ 02 04 cc 2e ]\r\n",
    "text-time-backwards": b"\x01" + capture_text + b"T( 00000005 ms)MSG[ 02 04 CC 2E ]\r\n",
    "text-broken-entry": b"\x01" + capture_text + b"T( 0000 ms)CMD[ 0G ]",
    "text-empty-entry": b"\x01T( 00000001 ms)MSG[ ]\r\n",
    "frames-exchange": bytes([0, 0, 10, 1, 1, 3, 0x02, 0x04, 0xCC, 0x2E, 0, 6, 1, 0, 3, 0x02, 0x04, 0xCC, 0x2E]),
    "frames-long-gap": bytes([0, 0xFF, 0xFF, 0xFF, 1, 0, 0x55, 0xFF, 0xFF, 0xFF, 0, 0, 0xAA]),
    "frames-long-frame": bytes([0, 0, 1, 1, 0, 0xFF]) + bytes(range(256)),
}
for name, data in capture_cases.items():
    write("fuzz_capture_trace", name, data)


# fuzz_id_log: ID (4), content.
def idlog(i, content):
    return list(struct.pack(">I", i)) + list(content)


id_cases = {
    "empty": idlog(1, b""),
    "crcrlf-lines": idlog(3, b"0000000001\r\r\n0000000002\r\r\n"),
    "lf-lines": idlog(7, b"0000000005\n0000000006\n"),
    "no-last-line-end": idlog(9, b"0000000008"),
    "blanks-around": idlog(12, b"  0000000011\t\r\n"),
    "long-line": idlog(20, b"1" * 300 + b"\r\n"),
    "largest-id": idlog(0xFFFFFFFF, b"4294967295\r\r\n"),
    "not-a-number": idlog(2, b"hello\r\n-1\r\n99999999999\r\n"),
}
for name, data in id_cases.items():
    write("fuzz_id_log", name, data)


# fuzz_report: ext, parts, serial length, serial, time (6), then (code index, selector, length (2), data).
def report(ext, parts, serial, replies):
    out = [ext, parts, len(serial)] + list(serial) + [36, 6, 15, 10, 30, 0]
    for index, selector, data in replies:
        out += [index, selector, len(data) >> 8, len(data) & 0xFF] + list(data)
    return out


report_cases = {
    "header-only": report(1, 1, b"12345", []),
    "all-parts-empty-stores": report(1, 15, b"SN", []),
    "standard-mode": report(0, 7, b"A1", []),
}
for index in range(24):
    report_cases["reply-%02d" % index] = report(1, 15, b"SN", [(index, 0, bytes(range(index, index + 64)))])
    report_cases["reply-%02d-video" % index] = report(1, 15, b"", [(index, 1, bytes([0x80 | index] * 200))])
for name, data in report_cases.items():
    write("fuzz_report", name, data)


# fuzz_firmware_file: the file itself. A header of 128 bytes (format letter at
# 7, record count at 28 low byte first, sector map at 34 ended by 0xFF), then
# 133-byte records: lead byte, 3-byte address, 128 data bytes, check.
def firmware_record(address, fill):
    data = [(fill + i) & 0xFF for i in range(128)]
    return [0x01, address >> 16 & 0xFF, address >> 8 & 0xFF, address & 0xFF] + data + [~sum(data) & 0xFF]


def firmware_header(counted, count, sectors):
    h = [0] * 128
    h[0:7] = list(b"L8VQA09")
    h[7] = ord("M") if counted else ord("S")
    h[28], h[29] = count & 0xFF, count >> 8
    h[34:34 + 90] = [0xFF] * 90
    h[34:34 + len(sectors)] = sectors
    return h


def firmware_file(counted, count, sectors, records):
    out = firmware_header(counted, count, sectors)
    for r in range(records):
        out += firmware_record(r * 128, r)
    return out


for name, data in [
    ("counted-two-records", firmware_file(True, 2, [], 2)),
    ("counted-with-trailing-bytes", firmware_file(True, 1, [], 1) + [0x1A, 0x1A]),
    ("sector-map-one-sector", firmware_file(False, 0, [0], 32)),
    ("record-check-wrong", firmware_file(True, 1, [], 1)[:-1] + [0x00]),
    ("count-past-the-end", firmware_file(True, 3, [], 2)),
    ("header-cut-short", firmware_header(True, 0, [])[:100]),
]:
    write("fuzz_firmware_file", name, data)


# fuzz_upload_stream: frame layout flag, then operations: a byte below 0xF0 is
# a chunk of that many bytes the unit sends, 0xF0 to 0xFE that many - 0xEF
# ticks, 0xFF "Exit". The first frame is 132 bytes (135 in long frames) ending
# with the 128-byte header; then one 133-byte packet per block.
def upload_stream(ext, sectors, packets, corrupt=None):
    first = [0x02] * (7 if ext else 4) + firmware_header(False, 0, sectors)
    stream = first
    for p in range(packets):
        rec = firmware_record(p * 128, p)
        if corrupt == p:
            rec[50] ^= 0x40
        stream += rec
    return stream


def chunks(stream, size, ticks_between=0):
    out = []
    for at in range(0, len(stream), size):
        part = stream[at:at + size]
        out += [len(part)] + part
        if ticks_between:
            out += [0xEF + ticks_between]
    return out


for name, data in [
    ("short-frames-one-sector", [0] + chunks(upload_stream(False, [0], 32), 200)),
    ("long-frames-one-sector-small-chunks", [1] + chunks(upload_stream(True, [0], 32), 7, 1)),
    ("map-not-from-sector-zero", [0] + chunks(upload_stream(False, [3], 31), 133)),
    ("corrupt-packet", [1] + chunks(upload_stream(True, [0], 32, corrupt=5), 150)),
    ("unit-stops-sending", [0] + chunks(upload_stream(False, [0], 10), 180) + [0xFE] * 8),
    ("exit-midway", [1] + chunks(upload_stream(True, [0], 4), 200) + [0xFF]),
]:
    write("fuzz_upload_stream", name, data)


# fuzz_money_settlement: rules, first seq, count, then facts (see its source).
def settle_status(type_, bits, more=0):
    return [0, type_, bits, more]


ESCROW, STACKED, POWER_UP = 0x01, 0x04, 0x80
TABLE = [2, 1, 5, 10, 20, 50, 100]
COUNT_PLACED, PLACE, GIVEN_UP, FOUND = [5], [4, 0], [7], [8]
IDLE = settle_status(0, 0, 1)
AUTO_UP_TO_MUCH = 0x16
accepted3 = TABLE + COUNT_PLACED + [6, 0] + settle_status(3, ESCROW) + PLACE
for name, data in [
    ("two-bills-in-a-row", [AUTO_UP_TO_MUCH, 1, 0] + accepted3 + settle_status(3, STACKED, 1)
     + settle_status(1, STACKED, 1)),
    ("stacked-told-again", [AUTO_UP_TO_MUCH, 1, 0] + accepted3 + settle_status(3, STACKED, 1) + IDLE + IDLE
     + settle_status(3, STACKED, 1) + COUNT_PLACED + [6, 1]),
    ("external-decisions", [0x09, 40, 0] + TABLE + COUNT_PLACED + [6, 0] + settle_status(3, ESCROW)
     + [3, 0x05, 3, 0x05, 3, 0x10] + PLACE + settle_status(3, STACKED, 1)),
    ("link-lost-with-a-bill-accepted", [AUTO_UP_TO_MUCH, 1, 0] + TABLE + COUNT_PLACED + [6, 0x85]
     + settle_status(3, ESCROW) + PLACE + FOUND + IDLE + TABLE + COUNT_PLACED + [6, 1]),
    ("count-given-up", [AUTO_UP_TO_MUCH, 1, 0] + accepted3 + settle_status(0, POWER_UP) + GIVEN_UP * 4),
    ("before-the-table-then-cleared", [AUTO_UP_TO_MUCH, 1, 0] + settle_status(3, STACKED) + settle_status(1, STACKED)
     + TABLE + [0x18] + settle_status(2, STACKED)),
]:
    write("fuzz_money_settlement", name, data)
