"""Creates the suite's prefix (setup) or stops its wineserver (cleanup)."""
import sys

import winetest

if __name__ == "__main__":
    if sys.argv[1:] == ["create"]:
        winetest.create_prefix()
    else:
        winetest.stop_wineserver()
