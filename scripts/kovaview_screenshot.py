#!/usr/bin/env python3
"""Takes the README's picture of kovaview: its window under Xvfb, made
smaller than the screen it shows, so that the picture is scaled to fit with
its aspect kept, paused at a field and dumped with xwd.

    scripts/kovaview_screenshot.py BUILD/tool/kovaview OUT.png [capview options]
    scripts/kovaview_screenshot.py BUILD/tool/kovaview OUT.png --card FILE

The second watches a virtual card as other programs left it (capview does
not run).

Needs Xvfb, xdotool and xwd (Debian xvfb, xdotool, x11-apps).  Prints the
window's title (its status line).
"""
import os
import struct
import subprocess
import sys
import tempfile
import time
import zlib


def xwd_to_png(xwd, png):
    data = open(xwd, "rb").read()
    head = struct.unpack(">25I", data[:100])
    size, width, height, msb, bpp, line, colours = head[0], head[4], head[5], head[7], head[11], head[12], head[19]
    assert bpp == 32, "a 24-bit X screen is expected"
    start = size + 12 * colours
    raw = bytearray()
    for y in range(height):
        row = data[start + y * line:start + y * line + 4 * width]
        raw.append(0)
        for x in range(width):
            p = row[4 * x:4 * x + 4]
            raw += bytes((p[1], p[2], p[3])) if msb else bytes((p[2], p[1], p[0]))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    with open(png, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                  chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main():
    kovaview, out, capview = sys.argv[1], sys.argv[2], sys.argv[3:]
    command = [kovaview] + capview if capview[:1] == ["--card"] else [kovaview, "--"] + capview
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                              pass_fds=(write,), stderr=subprocess.DEVNULL)
    os.close(write)
    env = dict(os.environ, DISPLAY=":" + os.read(read, 16).decode().strip(), SDL_RENDER_DRIVER="software")
    viewer = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    try:
        def x(*args):
            return subprocess.run(list(args), env=env, check=True, capture_output=True, timeout=10).stdout.decode()
        window = x("xdotool", "search", "--sync", "--name", "^kovaview").split()[0]
        x("xdotool", "windowsize", window, "640", "400")
        time.sleep(1.5)  # a second of fields, so that the title has its rate
        x("xdotool", "key", "--window", window, "p")
        time.sleep(0.3)
        print(x("xdotool", "getwindowname", window).strip())
        with tempfile.TemporaryDirectory() as scratch:
            x("xwd", "-id", window, "-silent", "-out", scratch + "/window.xwd")
            xwd_to_png(scratch + "/window.xwd", out)
    finally:
        viewer.terminate()
        viewer.wait(timeout=10)
        server.terminate()
        server.wait(timeout=10)


if __name__ == "__main__":
    main()
