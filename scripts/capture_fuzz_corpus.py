#!/usr/bin/env python3
"""Records what real senders put on the line, as seeds for the fuzz targets.

Each case runs a sender (G-Kermit, lrzsz) and a receiver on two
pseudo-terminals and relays between them, keeping the sender's bytes. The
receiver is the peer's own or ours (qorxfer): a sender follows what its
receiver agreed to, and only against ours does the recording fit the engine
that the fuzz target drives. The receivers work in a scratch directory that is
removed afterwards.

usage: scripts/capture_fuzz_corpus.py QORXFER OUTPUT_DIR
       (writes OUTPUT_DIR/<target>/<case>; the receive targets get the bytes
       in the pieces the sender's writes arrived in, see fuzz/engine_harness.hpp)
"""
import os
import random
import select
import shutil
import subprocess
import sys
import tempfile
import time
import tty

OURS = "{qorxfer} receive --port {tty} --dir . --quiet --protocol "
CASES = [
    # target, case name, sender command ({f}: the file), receiver command
    ("kermit_receive", "gkermit", "gkermit -q -i -P -e 80 -S -s {f}", OURS + "kermit"),
    ("kermit_receive", "gkermit-long", "gkermit -q -i -P -e 1000 -S -s {f}",
     OURS + "kermit --packet-length 1000 --windows 4"),
    ("kermit_receive", "gkermit-peer", "gkermit -q -i -P -e 80 -S -s {f}",
     "gkermit -q -i -P -w -e 80 -S -r"),
    ("xmodem_receive", "sx-1k", "sx -k {f}", OURS + "xmodem-1k out.bin"),
    ("xmodem_receive", "sx-128", "sx {f}", "rx -c out.bin"),
    ("ymodem_receive", "sb", "sb -k {f}", OURS + "ymodem"),
    ("zmodem_receive", "sz", "sz -b {f}", OURS + "zmodem"),
    ("zmodem_receive", "sz-escape", "sz -b -e {f}", OURS + "zmodem --escape-control"),
    ("zmodem_receive", "sz-peer", "sz -b {f}", "rz -b -y"),
]


def payload(size):
    rng = random.Random(7)
    text = b"StellixUp seed\r\n" * 8
    binary = bytes(rng.randrange(256) for _ in range(size - len(text) - 64))
    return text + binary + bytes(64)  # a run of zeros for the repeat prefix


def start(command, cwd, qorxfer):
    master, slave = os.openpty()
    tty.setraw(slave)
    tty.setraw(master)
    args = command.format(qorxfer=qorxfer, tty=os.ttyname(slave)).split()
    proc = subprocess.Popen(args, stdin=slave, stdout=slave, stderr=subprocess.DEVNULL, cwd=cwd)
    os.close(slave)
    return proc, master


def relay(sender, receiver, procs, seconds=30):
    """Relays both ways until both programs end; returns the sender's bytes
    in the pieces they were read in."""
    sent = []
    end = time.time() + seconds
    while time.time() < end and any(p.poll() is None for p in procs):
        ready, _, _ = select.select([sender, receiver], [], [], 0.1)
        for fd in ready:
            try:
                data = os.read(fd, 4096)
            except OSError:
                continue
            if fd == sender:
                sent.append(data)
                os.write(receiver, data)
            else:
                os.write(sender, data)
    for p in procs:
        if p.poll() is None:
            p.kill()
        p.wait()
    return sent


def bursts(pieces):
    """The engine targets' format: each piece as a length byte and at most 255
    bytes."""
    out = bytearray()
    for piece in pieces:
        for at in range(0, len(piece), 255):
            chunk = piece[at:at + 255]
            out += bytes([len(chunk)]) + chunk
    return bytes(out)


# Targets that read the bytes as one stream take the same recordings unframed.
RAW_TARGETS = {"kermit_receive": "kermit_assembler", "zmodem_receive": "zmodem_reader"}


def store(out, target, case, data):
    os.makedirs(os.path.join(out, target), exist_ok=True)
    with open(os.path.join(out, target, case), "wb") as f:
        f.write(data)


def main():
    qorxfer = os.path.abspath(sys.argv[1])
    out = sys.argv[2]
    with tempfile.TemporaryDirectory(prefix="qor-capture-") as scratch:
        src = os.path.join(scratch, "send")
        dst = os.path.join(scratch, "recv")
        os.mkdir(src)
        name = os.path.join(src, "SEED.BIN")
        with open(name, "wb") as f:
            f.write(payload(1500))
        for target, case, send, receive in CASES:
            os.makedirs(dst)
            rx, rx_line = start(receive, dst, qorxfer)
            time.sleep(0.2)
            tx, tx_line = start(send.replace("{f}", name), src, qorxfer)
            sent = relay(tx_line, rx_line, [tx, rx])
            os.close(rx_line)
            os.close(tx_line)
            shutil.rmtree(dst)
            store(out, target, case, bursts(sent))
            if target in RAW_TARGETS:
                store(out, RAW_TARGETS[target], case, b"".join(sent))
            print(f"{target}/{case}: {sum(map(len, sent))} bytes in {len(sent)} pieces,"
                  f" sender exit {tx.returncode},"
                  f" receiver exit {rx.returncode}")


if __name__ == "__main__":
    main()
