#!/usr/bin/env python3
"""Checks that `twinlens-cli defaults` keeps standard property lists, read by Python's plistlib.

Usage: defaults_plistlib.py CLI

Writes values with the CLI and reads its file with plistlib; writes Apple's binary form with
plistlib and reads it with the CLI.
"""
import os
import plistlib
import subprocess
import sys
import tempfile


def main(cli):
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, XDG_CONFIG_HOME=home)
        folder = os.path.join(home, "twinlens")

        def defaults(*arguments):
            return subprocess.run([cli, "defaults", *arguments], env=env, check=True,
                                  capture_output=True, text=True).stdout

        defaults("write", "written", "note", "-string", "a & b <c>")
        defaults("write", "written", "level", "-int", "-3")
        with open(os.path.join(folder, "written.plist"), "rb") as f:
            assert plistlib.load(f) == {"note": "a & b <c>", "level": -3}

        value = "/Users/me/Pictures/iPhoto Library \u00e9 \U0001F600 & more"
        tree = {"RootDirectory": value, "n": 70000, "nested": {"a": [1.5, True]}}
        with open(os.path.join(folder, "com.apple.iphoto.plist"), "wb") as f:
            plistlib.dump(tree, f, fmt=plistlib.FMT_BINARY)
        assert defaults("read", "com.apple.iphoto", "RootDirectory") == value + "\n"
        assert defaults("read", "com.apple.iphoto", "n") == "70000\n"
        defaults("write", "com.apple.iphoto", "n", "-int", "1")
        with open(os.path.join(folder, "com.apple.iphoto.plist"), "rb") as f:
            assert plistlib.load(f) == dict(tree, n=1)


if __name__ == "__main__":
    main(sys.argv[1])
