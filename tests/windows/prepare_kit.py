#!/usr/bin/env python3
"""Lays out the images and the reference products for the Windows job test.

usage: prepare_kit.py NATIVE_CLI KIT_DIR REF_DIR

With the Linux build's isorelink it authors one image of each kind from one
small tree, then writes per kind REF_DIR/KIND/ (the image, the Linux
extraction's products and rebuild's NEW-GAME.ISO) and KIT_DIR/KIND/ (the
image, a host's NEW-GAME.ISO and relink list, for the module under Wine).
What cannot be prepared is explained in KIT_DIR/UNAVAILABLE or
KIT_DIR/KIND/UNAVAILABLE, and the job test then reports itself skipped.
"""
import os
import shutil
import subprocess
import sys
import tempfile

KINDS = ("ps2cd", "ps2dvd", "pspumd")
IMAGE = "GAME.ISO"
SPARE_SECTORS = 37


def pattern(seed, size):
    return bytes((seed * 31 + i * 7 + (i >> 8)) & 0xFF for i in range(size))


def author_tree(root):
    files = {
        "SYSTEM.CNF": b"BOOT2 = cdrom0:\\SLUS_000.00;1\r\nVER = 1.00\r\nVMODE = NTSC\r\n",
        "SLUS_000.00": pattern(1, 70000),
        "DATA/MOVIE.PSS": pattern(2, 300000),
        "DATA/SOUND/BGM.BIN": pattern(3, 5000),
        "DATA/SOUND/SE.BIN": pattern(4, 2048),
        "MODULES/IOP.IRX": pattern(5, 4097),
    }
    for name, content in files.items():
        path = os.path.join(root, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(content)


def run(command):
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    return done.returncode, done.stdout.decode("utf-8", "replace")


def relink_list(listing):
    """The relink list a host would write: the listing with the last file's
    size changed (its data still fits the sectors it has)."""
    lines = listing.split(b"\r\n")
    body = [line for line in lines if line]
    if not body:
        return listing
    last = max(range(len(body)), key=lambda i: int(body[i][0:8], 16))
    size = int(body[last][9:17], 16)
    body[last] = body[last][:9] + b"%08X" % (size // 2 + 1) + body[last][17:]
    return b"\r\n".join(body) + (b"\r\n" if listing.endswith(b"\r\n") else b"")


def prepare_kind(cli, source, kind, kit_dir, ref_dir):
    os.makedirs(ref_dir)
    os.makedirs(kit_dir)
    image = os.path.join(ref_dir, IMAGE)
    code, output = run([cli, "mkimage", "--kind", kind, source, image])
    if code != 0:
        return "isorelink mkimage --kind %s failed (%d):\n%s" % (kind, code, output)
    shutil.copyfile(image, os.path.join(kit_dir, IMAGE))
    code, output = run([cli, "extract", image])
    if code != 0:
        return "the Linux extraction of the %s image failed (%d):\n%s" % (kind, code, output)
    with open(image + "-LSN.TXT", "rb") as listing:
        relink = relink_list(listing.read())
    with open(image, "rb") as original:
        new_image = original.read() + bytes(2048 * SPARE_SECTORS)
    for folder in (ref_dir, kit_dir):
        with open(os.path.join(folder, IMAGE + "-relink-LSN.TXT"), "wb") as out:
            out.write(relink)
        with open(os.path.join(folder, "NEW-" + IMAGE), "wb") as out:
            out.write(new_image)
    code, output = run([cli, "rebuild", image])
    if code != 0:
        return "the Linux rebuild of the %s image failed (%d):\n%s" % (kind, code, output)
    return None


def prepare(cli, kit, ref):
    """Returns the reason nothing could be prepared, or None. A kind that
    fails on its own gets KIT_DIR/KIND/UNAVAILABLE instead."""
    if not cli:
        return "no Linux build of isorelink was given (configure with -DISORELINK_NATIVE_CLI=/path/to/build/bin/isorelink)"
    if not os.access(cli, os.X_OK):
        return "the Linux build's isorelink is not there: %s" % cli
    with tempfile.TemporaryDirectory(prefix="isorelink-kit-") as scratch:
        source = os.path.join(scratch, "files")
        author_tree(source)
        for kind in KINDS:
            kit_dir = os.path.join(kit, kind)
            reason = prepare_kind(cli, source, kind, kit_dir, os.path.join(ref, kind))
            if reason and not os.path.exists(os.path.join(kit_dir, IMAGE)):
                return reason  # no image at all: the kit itself is missing
            if reason:
                with open(os.path.join(kit_dir, "UNAVAILABLE"), "w") as note:
                    note.write(reason + "\n")
                print("%s: the comparison will be skipped: %s" % (kind, reason))
    return None


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    cli, kit, ref = argv[1], argv[2], argv[3]
    for folder in (kit, ref):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
    reason = prepare(cli, kit, ref)
    if reason:
        with open(os.path.join(kit, "UNAVAILABLE"), "w") as note:
            note.write(reason + "\n")
        print("the job comparison will be skipped: " + reason)
    else:
        print("kit images and Linux products ready in %s and %s" % (kit, ref))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
