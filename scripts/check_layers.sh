#!/usr/bin/env bash
# Fails when a file under src/ includes a header from a folder its layer may not use (the
# table in the README's Layout section), when anything outside platform/posix/ includes a
# header of it, or when a header of the platform layer includes a POSIX system header.
# Usage: scripts/check_layers.sh [source folder, default src]
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 - "${1:-src}" <<'PY'
import os, re, sys

root = sys.argv[1]
below_catalogue = ["ini", "net", "ui", "platform"]
allowed = {
    "platform": [],
    "ini": ["platform"],
    "net": ["platform"],
    "ui": ["platform"],
    "catalogue": below_catalogue,
    "install": ["catalogue"] + below_catalogue,
    "ui/gui": ["ui", "platform"],
    "selfinstall": ["install", "catalogue"] + below_catalogue,
    "selfinstall/gui": ["ui/gui", "selfinstall", "install", "catalogue"] + below_catalogue,
    "install/gui": ["selfinstall/gui", "ui/gui", "selfinstall", "install", "catalogue"]
                   + below_catalogue,
    "catalogue/gui": ["install/gui", "selfinstall/gui", "ui/gui", "selfinstall", "install",
                      "catalogue"] + below_catalogue,
    "publish": ["catalogue", "install", "ini", "net", "platform"],
}
top_folders = {"app", "platform", "ini", "net", "ui", "catalogue", "install", "selfinstall", "publish"}
posix_headers = re.compile(r"#\s*include\s*<(unistd|fcntl|dirent|pwd|sys/[^>]*|sys)\.h>")
include = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def folder_of(path):
    """The layer a source path (relative to src/) belongs to."""
    parts = path.split("/")
    if parts[0] not in top_folders or len(parts) < 2:
        return None
    if parts[0] == "platform":
        return "platform"
    if len(parts) > 2 and parts[1] == "gui":
        return parts[0] + "/gui"
    return parts[0]


failures = []
for dirpath, _, files in os.walk(root):
    for name in sorted(files):
        if not name.endswith((".h", ".cpp")):
            continue
        full = os.path.join(dirpath, name)
        rel = os.path.relpath(full, root).replace(os.sep, "/")
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
                if here.startswith("app") or there == here or there in allowed.get(here, []):
                    continue
                failures.append(f"{rel}:{number}: {here} may not include {target} ({there})")

for failure in failures:
    print(failure, file=sys.stderr)
if failures:
    print(f"layer check: {len(failures)} include(s) against the layers", file=sys.stderr)
    sys.exit(1)
print("layer check: every include follows the layers")
PY
