#!/usr/bin/env python3
"""Runs the README's marked commands as written, in a home of their own.

Every fenced block that follows a `<!-- run -->` line is run, in order, in one
bash session with `set -e` (python blocks through python3), with the program
under test first on the PATH and HOME in a scratch folder.

usage: run_readme.py PROGRAM README.md
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile

SKIP = 77  # CTest's skip code, when the machine would make the run unsafe


def marked_blocks(text):
    pattern = re.compile(r"^<!-- run -->\n```(\w+)\n(.*?)^```$", re.M | re.S)
    return [(language, body) for language, body in pattern.findall(text)]


def script_of(blocks):
    lines = ["set -e"]
    for language, body in blocks:
        if language == "python":
            lines.append("python3 - <<'PYTHON'\n" + body + "PYTHON")
        else:
            lines.append(body)
    return "\n".join(lines) + "\n"


def main():
    program, readme = sys.argv[1], sys.argv[2]
    # With no data folder COM2 is /dev/ttyS1: a test never opens a real device.
    if os.path.exists("/dev/ttyS1"):
        print("skipped: this machine has a /dev/ttyS1, which the README's first run would open")
        return SKIP
    with open(readme) as file:
        blocks = marked_blocks(file.read())
    if not blocks:
        print("no marked commands in", readme)
        return 1
    home = tempfile.mkdtemp(prefix="readme-home-")
    environment = {key: value for key, value in os.environ.items()
                   if not key.startswith("XDG_") and key != "ProgramFiles"}
    environment.update(HOME=home, PATH=os.path.dirname(os.path.abspath(program)) + os.pathsep + environment["PATH"])
    run = subprocess.Popen(["bash", "-c", script_of(blocks)], cwd=home, env=environment, start_new_session=True)
    try:
        status = run.wait(timeout=180)
    except subprocess.TimeoutExpired:
        status = "timed out"
    finally:
        try:
            os.killpg(run.pid, signal.SIGKILL)  # whatever a block left running
        except ProcessLookupError:
            pass
        shutil.rmtree(home, ignore_errors=True)
    print(f"{len(blocks)} marked blocks:", "all ran" if status == 0 else f"failed ({status})")
    return 0 if status == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
