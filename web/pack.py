#!/usr/bin/env python3
"""Finishes the page's folder SITE once the converter is built: writes the
build's version and its files into the service worker (sw.js, from SOURCE/sw.js) and writes
bundle.js, which carries the worker's scripts and the WebAssembly for a page
opened as a file, where the worker cannot load them itself.

Usage: pack.py SOURCE SITE"""
import base64
import hashlib
import json
import os
import sys

# The files the page is made of: the service worker caches these, and its
# version is made of them.
CACHED = ["index.html", "storage.js", "ends.js", "page.js", "style.css", "worker.js", "halvorine.js",
          "halvorine.wasm", "manifest.webmanifest", "icon.svg", "icon-192.png", "icon-512.png"]


def read(site, name):
    with open(os.path.join(site, name), "rb") as f:
        return f.read()


def main(source, site):
    digest = hashlib.sha256()
    for name in CACHED:
        digest.update(name.encode() + b"\0" + read(site, name))
    with open(os.path.join(source, "sw.js")) as f:
        worker = f.read().replace("@VERSION@", digest.hexdigest()[:16]).replace("@FILES@", " ".join(CACHED))
    with open(os.path.join(site, "sw.js"), "w") as f:
        f.write(worker)
    # One script: the marker first, so the worker knows where it runs.
    scripts = "const halvorineBundled = true;\n" + "".join(
        read(site, n).decode() + "\n" for n in ("storage.js", "ends.js", "halvorine.js", "worker.js"))
    wasm = base64.b64encode(read(site, "halvorine.wasm")).decode()
    with open(os.path.join(site, "bundle.js"), "w") as f:
        f.write("'use strict';\n// Made by pack.py for a page opened as a file.\n"
                f"self.halvorineBundle = {{ worker: {json.dumps(scripts)},\n  wasm: '{wasm}' }};\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
