#!/usr/bin/env python3
"""Checks `twinlens-cli hash` against a second, independent reading of the photo hash rules.

Usage: reference_walk.py CLI [FILE_OR_FOLDER...]

Writes a few hundred generated files (JPEG-shaped, edited, cut, garbled, not JPEG at all) into a
temporary folder, adds any files or folders named on the command line (real camera photos, for
instance), hashes them all with the CLI in one call, and compares every digest and failure with
what this script computes itself. Also checks the CLI's exit status and error lines.
"""
import hashlib
import os
import random
import struct
import subprocess
import sys
import tempfile


def expected_digest(data):
    """The photo hash of `data`, or None when the JPEG walk fails (then the whole file counts)."""
    whole = hashlib.sha1(data).hexdigest()
    if len(data) < 5 or data[:2] != b"\xff\xd8":
        return whole
    end = len(data) - 2
    pos = 2  # position of the current marker
    while True:
        if pos + 2 == len(data):
            return hashlib.sha1(b"").hexdigest()  # no scan before the last two bytes
        if pos + 4 > len(data):
            return whole  # the length field runs past the end
        marker = data[pos:pos + 2]
        length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
        if marker == b"\xff\xda":
            start = pos + 4
            if start >= end:
                return whole  # nothing, or less than nothing, between the field and the end
            return hashlib.sha1(data[start:end]).hexdigest()
        if length < 3:
            return whole
        pos += 2 + length
        if pos + 2 > len(data):
            return whole


def segment(code, payload):
    return bytes([0xFF, code]) + struct.pack(">H", len(payload) + 2) + payload


def entropy(rng, n):
    out = bytearray()
    while len(out) < n:
        b = rng.randrange(256)
        out.append(b)
        if b == 0xFF:
            out.append(0)
    return bytes(out)


def photo(rng, exif, size, progressive=False):
    parts = [b"\xff\xd8", segment(0xE0, b"JFIF\x00\x01\x02\x01\x00H\x00H\x00\x00"),
             segment(0xE1, b"Exif\x00\x00" + exif), segment(0xDB, bytes(65)),
             segment(0xC2 if progressive else 0xC0, b"\x08\x01\xe0\x02\x80\x03\x01\x22\x00"),
             segment(0xC4, bytes(29))]
    scans = 3 if progressive else 1
    for i in range(scans):
        if i:
            parts.append(segment(0xC4, bytes([i]) * 29))
        parts.append(segment(0xDA, b"\x03\x01\x00\x02\x11\x03\x11\x00\x3f\x00"))
        parts.append(entropy(rng, size // scans))
    parts.append(b"\xff\xd9")
    return b"".join(parts)


def generated_cases(rng):
    cases = {}
    for i in range(40):
        base = photo(rng, b"camera %d" % i, rng.randrange(10, 5000), progressive=(i % 4 == 0))
        cases["photo%d.jpg" % i] = base
        edited = base.replace(b"camera %d" % i, b"edited camera %d, longer EXIF" % i, 1)
        cases["photo%d-edited.jpg" % i] = edited
        cases["photo%d-trailing.jpg" % i] = base + entropy(rng, rng.randrange(1, 50))
        cut = rng.randrange(0, len(base))
        cases["photo%d-cut%d.jpg" % (i, cut)] = base[:cut]
        garbled = bytearray(base)
        for _ in range(rng.randrange(1, 6)):
            garbled[rng.randrange(len(garbled))] = rng.randrange(256)
        cases["photo%d-garbled.jpg" % i] = bytes(garbled)
    for n in range(0, 8):
        cases["tiny%d" % n] = (b"\xff\xd8\xff\xd9\xff\xda\x00\x02")[:n]
    for length in (0, 1, 2, 3, 65535):
        cases["seglen%d.jpg" % length] = (b"\xff\xd8\xff\xe1" + struct.pack(">H", length) +
                                          bytes(10) + b"\xff\xda\x00\x0c" + bytes(20) + b"\xff\xd9")
    cases["sos-at-end.jpg"] = b"\xff\xd8\xff\xda\x00\x0c\xff\xd9"
    cases["sos-overlap.jpg"] = b"\xff\xd8\xff\xda\x00\xff\xd9"
    cases["text.txt"] = b"not a photo at all\n" * 100
    cases["random.bin"] = bytes(rng.randrange(256) for _ in range(3000))
    return cases


def main():
    cli = sys.argv[1]
    rng = random.Random(20261206)
    failures = 0
    with tempfile.TemporaryDirectory(prefix="twinlens-reference-") as folder:
        paths = {}
        for name, data in generated_cases(rng).items():
            path = os.path.join(folder, name)
            with open(path, "wb") as f:
                f.write(data)
            paths[path] = data
        for arg in sys.argv[2:]:
            walk = [arg] if os.path.isfile(arg) else [
                os.path.join(d, f) for d, _, fs in os.walk(arg) for f in fs]
            for path in walk:
                if os.path.isfile(path) and not os.path.islink(path):
                    with open(path, "rb") as f:
                        paths[path] = f.read()
        missing = os.path.join(folder, "missing.jpg")
        link = os.path.join(folder, "link.jpg")
        os.symlink(next(iter(paths)), link)

        order = list(paths) + [missing, link]
        run = subprocess.run([cli, "hash", "--log-level", "0", *order], capture_output=True)
        got = {}
        for line in run.stdout.decode().splitlines():
            digest, path = line.split("  ", 1)
            got[path] = digest
        for path, data in paths.items():
            want = expected_digest(data)
            if got.get(path) != want:
                failures += 1
                print("MISMATCH %s: cli %s, reference %s" % (path, got.get(path), want))
        errors = run.stderr.decode().splitlines()
        want_errors = ["twinlens-cli: lstat(%s): No such file or directory" % missing,
                       "twinlens-cli: Too many levels of symbolic links"]
        if errors != want_errors or run.returncode != 1:
            failures += 1
            print("unexpected failure report: status %d, stderr %r" % (run.returncode, errors))

        whole = subprocess.run([cli, "hash", "--whole", *paths], capture_output=True)
        for line in whole.stdout.decode().splitlines():
            digest, path = line.split("  ", 1)
            if digest != hashlib.sha1(paths[path]).hexdigest():
                failures += 1
                print("MISMATCH --whole %s" % path)
        if whole.returncode != 0:
            failures += 1
            print("--whole exited %d" % whole.returncode)

    print("%d passed, %d failed" % (len(paths) + 2 - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
