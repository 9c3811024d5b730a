#!/usr/bin/env python3
"""Writes the fuzz seed corpus: small valid files, one for each kind of chunk
and fmt layout the converter knows. Findings kept later sit beside them."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import wavgen  # noqa: E402

if __name__ == "__main__":
    wavgen.write_all(os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus"), wavgen.SEEDS.items())
