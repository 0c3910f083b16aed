#!/usr/bin/env bash
# Installs Debian packages (the arguments) with apt's own progress, and leaves the
# machine's services as they were: no service a package brings is started during the
# install, and any it enables (nginx-light enables a system-wide nginx on port 80) is
# disabled again. The project's programs start their own servers on loopback.
set -euo pipefail
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive

# Services that start at boot, as links under /etc (systemd units and SysV scripts).
enabled_services() {
  find /etc/systemd/system -path '*.wants/*.service' -printf '%f\n' 2>/dev/null
  find /etc/rc[2-5].d -name 'S*' -printf '%f\n' 2>/dev/null | sed 's/^S[0-9]*//; s/$/.service/'
}
before=$(enabled_services | sort -u)

# policy-rc.d answers "not now" to every start a package's scripts ask for.
guard=
if [ ! -e /usr/sbin/policy-rc.d ]; then
  guard=/usr/sbin/policy-rc.d
  printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee "$guard" >/dev/null
  "${sudo[@]}" chmod 755 "$guard"
fi
cleanup() { [ -n "$guard" ] && "${sudo[@]}" rm -f "$guard"; }
trap cleanup EXIT

echo "setup: apt-get update" >&2
"${sudo[@]}" apt-get update -q
echo "setup: apt-get install $* (and what they need)" >&2
"${sudo[@]}" apt-get install -y -q --no-install-recommends "$@"

for unit in $(comm -13 <(echo "$before") <(enabled_services | sort -u)); do
  echo "setup: disabling $unit, which the install enabled" >&2
  if [ -d /run/systemd/system ]; then
    "${sudo[@]}" systemctl disable --now "$unit" >/dev/null 2>&1 || true
  else
    "${sudo[@]}" systemctl disable "$unit" >/dev/null 2>&1 || true
  fi
  "${sudo[@]}" update-rc.d "${unit%.service}" disable >/dev/null 2>&1 || true
done
