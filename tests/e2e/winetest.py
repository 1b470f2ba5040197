"""Runs the real tvuninst.exe under Wine in a throwaway 64-bit prefix: the
prefix helpers and the texts the tool shows (scripts/wineprefix.py), and the
test case and entry point of every suite."""
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
from wineprefix import *  # noqa: E402,F401,F403
from wineprefix import keep_wineserver  # noqa: E402

class WineTestCase(unittest.TestCase):
    maxDiff = None


def main():
    keep_wineserver()
    unittest.main(verbosity=2)
