#!/usr/bin/env python3
"""Checks the locking annotations of the window's sources with clang's -Wthread-safety.

The sanitizer stage that builds with clang leaves the Qt window out; this compiles each window
source once more with clang, syntax only, from the flags the given build folder recorded in
compile_commands.json. Exits non-zero when clang reports anything.
"""
import json
import shlex
import subprocess
import sys

# Flags of the GCC build that clang does not know.
GCC_ONLY = {"-Wno-restrict"}


def main(build: str) -> int:
    with open(f"{build}/compile_commands.json") as commands:
        entries = json.load(commands)
    failed = 0
    for entry in entries:
        if "/src/app/window/" not in entry["file"] or "_autogen" in entry["file"]:
            continue
        args, skip = ["clang++"], False
        for arg in shlex.split(entry["command"])[1:]:
            if skip:
                skip = False
            elif arg in ("-o", "-MF", "-MT"):
                skip = True
            elif arg != "-MD" and arg not in GCC_ONLY:
                args.append(arg)
        args += ["-fsyntax-only", "-Wthread-safety", "-Werror"]
        result = subprocess.run(args, cwd=entry["directory"])
        failed += result.returncode != 0
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
