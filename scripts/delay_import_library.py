#!/usr/bin/env python3
"""Makes a delay-import library from a MinGW import library: the same functions of the same DLL,
resolved on their first call instead of when the program is loaded.

    delay_import_library.py --nm NM --dlltool DLLTOOL --import LIB --dll NAME --out LIB

The function names are the code symbols of the import library's members (its `T` symbols);
dlltool writes the delay-import library from a module definition of them.
"""
import argparse
import pathlib
import subprocess
import sys


def exported_functions(nm, library):
    listing = subprocess.run([nm, "--defined-only", library], check=True, capture_output=True,
                             text=True).stdout
    names = set()
    for line in listing.splitlines():
        fields = line.split()
        if len(fields) == 3 and fields[1] == "T":
            names.add(fields[2])
    return sorted(names)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--nm", required=True)
    parser.add_argument("--dlltool", required=True)
    parser.add_argument("--import", dest="library", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()

    functions = exported_functions(args.nm, args.library)
    if not functions:
        sys.exit(f"{args.library}: no functions found")
    out = pathlib.Path(args.out)
    definition = out.with_suffix(".def")
    definition.write_text(f"LIBRARY {args.dll}\nEXPORTS\n" +
                          "".join(f"  {name}\n" for name in functions))
    subprocess.run([args.dlltool, "--input-def", str(definition), "--dllname", args.dll,
                    "--output-delaylib", str(out)], check=True)


if __name__ == "__main__":
    main()
