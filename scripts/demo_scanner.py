#!/usr/bin/env python3
"""The demo's scanner: types a realistic mix of codes on the stand-in driver's keyboard 2
every couple of seconds, through the driver's control channel.

Usage: demo_scanner.py CONTROL_PORT [DEVICE]
"""
import random
import socket
import sys
import time


def ean13(rng):
    digits = [rng.randrange(10) for _ in range(12)]
    check = (10 - sum(d * (3 if i % 2 else 1) for i, d in enumerate(digits)) % 10) % 10
    return "".join(map(str, digits)) + str(check)


def code128(rng):
    parts = ["Lot", "SKU", "Rx", "Box"]
    return "%s-%d/%s#%02d" % (rng.choice(parts), rng.randrange(1000, 99999),
                               rng.choice(["aB", "Qz", "mX"]), rng.randrange(100))


def two_d(rng):
    # A long 2D payload of a few hundred characters: fields of a shipping label.
    fields = ["SHIP:%06d" % rng.randrange(10 ** 6), "FROM:Marrowick Depot 4, Dock B",
              "TO:Velloran Lab; Bay %d" % rng.randrange(1, 40), "ITEMS:"]
    fields += ["%s*%d@%.2f" % (ean13(rng), rng.randrange(1, 9), rng.random() * 90)
               for _ in range(12)]
    return "|".join(fields)


def main():
    port = int(sys.argv[1])
    device = sys.argv[2] if len(sys.argv) > 2 else "2"
    rng = random.Random(2026)
    makers = [ean13, code128, ean13, two_d]
    with socket.create_connection(("127.0.0.1", port)) as channel:
        replies = channel.makefile("r")
        number = 0
        while True:
            code = makers[number % len(makers)](rng)
            channel.sendall(("scan %s %s\n" % (device, code)).encode("ascii"))
            reply = replies.readline().strip()
            if reply != "ok":
                print("demo scanner: %s" % reply, file=sys.stderr)
            number += 1
            time.sleep(2)


if __name__ == "__main__":
    try:
        main()
    except (KeyboardInterrupt, BrokenPipeError, ConnectionError):
        pass
