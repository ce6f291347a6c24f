#!/usr/bin/env python3
"""usage: prepare_kit.py NATIVE_CLI KIT_DIR REF_DIR: with the Linux isorelink, one image
of each kind with its Linux products in REF_DIR/KIND/ and its inputs in KIT_DIR/KIND/ and,
for the stand-in host's jobs, in KIT_DIR/framework/KIND/; or KIT_DIR/UNAVAILABLE saying
why not (the job tests then report themselves skipped)."""
import os
import shutil
import subprocess
import sys
import tempfile

IMAGE = "GAME.ISO"


def pattern(seed, size):
    return bytes((seed * 31 + i * 7 + (i >> 8)) & 0xFF for i in range(size))


FILES = {
    "SYSTEM.CNF": b"BOOT2 = cdrom0:\\SLUS_000.00;1\r\nVER = 1.00\r\nVMODE = NTSC\r\n",
    "SLUS_000.00": pattern(1, 70000),
    "DATA/MOVIE.PSS": pattern(2, 300000),
    "DATA/SOUND/BGM.BIN": pattern(3, 5000),
    "DATA/SOUND/SE.BIN": pattern(4, 2048),
    "MODULES/IOP.IRX": pattern(5, 4097),
}


def run(*command):
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    if done.returncode != 0:
        raise RuntimeError("%s failed (%d):\n%s" % (" ".join(command), done.returncode, done.stdout.decode("utf-8", "replace")))


def relink_list(listing):
    """The listing with the last file's size halved (its data still fits its sectors)."""
    body = [line for line in listing.split(b"\r\n") if line]
    last = max(range(len(body)), key=lambda i: int(body[i][0:8], 16))
    body[last] = body[last][:9] + b"%08X" % (int(body[last][9:17], 16) // 2 + 1) + body[last][17:]
    return b"\r\n".join(body) + b"\r\n"


def prepare(cli, source, kind, kit_dirs, ref_dir):
    os.makedirs(ref_dir)
    for kit_dir in kit_dirs:
        os.makedirs(kit_dir)
    image = os.path.join(ref_dir, IMAGE)
    run(cli, "mkimage", "--kind", kind, source, image)
    for kit_dir in kit_dirs:
        shutil.copyfile(image, os.path.join(kit_dir, IMAGE))
    run(cli, "extract", image)
    with open(image + "-LSN.TXT", "rb") as listing, open(image, "rb") as original:
        relink, new_image = relink_list(listing.read()), original.read() + bytes(2048 * 37)
    for folder in (ref_dir, *kit_dirs):
        with open(os.path.join(folder, IMAGE + "-relink-LSN.TXT"), "wb") as out:
            out.write(relink)
        with open(os.path.join(folder, "NEW-" + IMAGE), "wb") as out:
            out.write(new_image)
    run(cli, "rebuild", image)


def main(cli, kit, ref):
    for folder in (kit, ref):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
    try:
        if not cli or not os.access(cli, os.X_OK):
            raise RuntimeError("no Linux build of isorelink (configure with -DISORELINK_NATIVE_CLI=/path/to/bin/isorelink)")
        with tempfile.TemporaryDirectory(prefix="isorelink-kit-") as source:
            for name, content in FILES.items():
                path = os.path.join(source, *name.split("/"))
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as out:
                    out.write(content)
            for kind in ("ps2cd", "ps2dvd", "pspumd"):
                kit_dirs = [os.path.join(kit, kind), os.path.join(kit, "framework", kind)]
                prepare(cli, source, kind, kit_dirs, os.path.join(ref, kind))
    except (RuntimeError, OSError, subprocess.SubprocessError) as reason:
        with open(os.path.join(kit, "UNAVAILABLE"), "w") as note:
            note.write("%s\n" % reason)
        print("the job comparison will be skipped: %s" % reason)
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
