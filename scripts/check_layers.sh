#!/usr/bin/env bash
# Fails when a file under src/ includes a header from a folder its layer may not use (the
# table in the README's Layout section), when anything outside platform/posix/ includes a
# header of it, or when a header of the platform layer includes a POSIX system header; and
# keeps the Windows half to platform/win32/ (no POSIX header there, no Windows one elsewhere).
# Usage: scripts/check_layers.sh [source folder, default src]
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 - "${1:-src}" <<'PY'
import os, re, sys

root = sys.argv[1]
# Bottom to top; a folder may include its own headers and those of every folder before
# it in this list, except its siblings on the same step.
steps = [["platform"], ["ini", "net"], ["catalogue"], ["install"], ["selfinstall"], ["gui", "publish"]]
allowed = {}
below = []
for step in steps:
    for folder in step:
        allowed[folder] = list(below)
    below += step
top_folders = set(below) | {"app"}
posix_headers = re.compile(r"#\s*include\s*<(unistd|fcntl|dirent|pwd|sys/[^>]*|sys)\.h>")
include = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def folder_of(path):
    """The layer a source path (relative to src/) belongs to."""
    parts = path.split("/")
    if parts[0] not in top_folders or len(parts) < 2:
        return None
    return parts[0]


def sources():
    """Every C++ source below root: its name, full path and path relative to root."""
    for dirpath, _, files in os.walk(root):
        for name in sorted(files):
            if name.endswith((".h", ".cpp")):
                full = os.path.join(dirpath, name)
                yield name, full, os.path.relpath(full, root).replace(os.sep, "/")


failures = []
for name, full, rel in sources():
    here = folder_of(rel)
    if here is None:
        continue
    with open(full, encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            if here == "platform" and name.endswith(".h") and "/posix/" not in rel \
                    and posix_headers.search(line):
                failures.append(f"{rel}:{number}: a platform header includes a POSIX header")
            m = include.match(line)
            if not m:
                continue
            target = m.group(1)
            there = folder_of(target)
            if there is None:
                continue  # generated forms, test support, this folder's own relative names
            if target.startswith("platform/posix/") and not rel.startswith("platform/posix/"):
                failures.append(f"{rel}:{number}: includes {target}, which only platform/posix may use")
                continue
            if here == "app" or there == here or there in allowed.get(here, []):
                continue
            failures.append(f"{rel}:{number}: {here} may not include {target} ({there})")

# --- platform: what lives where (this block only; the table above is separate) ---------
# posix/ holds only what calls the system: each source there includes a system header,
# and each header there does so or belongs to such a source. Everything else of the
# platform layer (formats/, the interfaces and the portable sources beside them) is built
# on every system, so none of it includes a POSIX header.
system_headers = re.compile(
    r"#\s*include\s*<(unistd|fcntl|dirent|pwd|grp|spawn|signal|poll|dlfcn|termios|limits|pthread|sched"
    r"|sys/[^>]*|linux/[^>]*)\.h>")
platform_root = os.path.join(root, "platform")


def includes_system_header(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return any(system_headers.search(line) for line in f)


for dirpath, _, files in os.walk(platform_root):
    rel_dir = os.path.relpath(dirpath, root).replace(os.sep, "/")
    for name in sorted(files):
        if not name.endswith((".h", ".cpp")):
            continue
        full = os.path.join(dirpath, name)
        rel = f"{rel_dir}/{name}"
        if rel_dir in ("platform/posix", "platform/win32"):
            if rel_dir == "platform/win32" or includes_system_header(full):
                continue
            twin = os.path.join(dirpath, name[:-2] + ".cpp") if name.endswith(".h") else None
            if twin and os.path.exists(twin) and includes_system_header(twin):
                continue
            failures.append(f"{rel}: makes no system call, so it belongs in platform/formats/")
            continue
        with open(full, encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                if system_headers.search(line) and not any(
                        failure.startswith(f"{rel}:{number}:") for failure in failures):
                    failures.append(f"{rel}:{number}: built on every system, so no POSIX header")
# --- end of the platform block -----------------------------------------------------------

# --- the Windows half: no POSIX header in platform/win32/, no Windows header anywhere
# else, and its own headers for itself alone ---------------------------------------------
windows_headers = re.compile(
    r"#\s*include\s*<(windows|win[a-z]*|shlobj|shobjidl|shellapi|objbase|ole2|knownfolders|shlwapi)\.h>",
    re.IGNORECASE)
for name, full, rel in sources():
    in_win32 = rel.startswith("platform/win32/")
    with open(full, encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            if in_win32 and system_headers.search(line):
                failures.append(f"{rel}:{number}: platform/win32 includes a POSIX header")
            if not in_win32 and windows_headers.search(line):
                failures.append(f"{rel}:{number}: a Windows header outside platform/win32")
            m = include.match(line)
            if m and m.group(1).startswith("platform/win32/") and not in_win32:
                failures.append(f"{rel}:{number}: includes {m.group(1)}, which only platform/win32 may use")
# --- end of the Windows block --------------------------------------------------------------

for failure in failures:
    print(failure, file=sys.stderr)
if failures:
    print(f"layer check: {len(failures)} include(s) against the layers", file=sys.stderr)
    sys.exit(1)
print("layer check: every include follows the layers")
PY
