#!/usr/bin/env bash
# The installed units under a user systemd instance and a journald of their
# own, in the private mount namespace the package test starts this in
# (unshare -m): a successful, a failed and, when given a damaged back-end, a
# data-losing run of dorvane@Bresk.service, each of whose journal must show
# every step. Prints what the journal showed; exit status 1 on any problem.
# Usage: user-journal.sh DEMO [DAMAGED]   DEMO: the demo installation (its
# settings in DEMO/config); DAMAGED: a damaged copy of its back-end.
set -euo pipefail
demo=$1 damaged=${2:-}
fail() { echo "user-journal: $*" >&2; exit 1; }

# Only this namespace sees these: the host's systemd and journal stay as they are.
mount -t tmpfs tmpfs /run/systemd
mkdir -p /run/systemd/system /run/systemd/journal /run/log
mount -t tmpfs tmpfs /run/log
if [ -d /var/log/journal ]; then mount -t tmpfs tmpfs /var/log/journal; fi
/lib/systemd/systemd-journald &
journald=$!
export XDG_RUNTIME_DIR=$demo/runtime HOME=$demo/home XDG_CONFIG_HOME=$demo/config
mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$HOME"
# The alert of the README: OnFailure= added to the installed unit by a drop-in.
units=$XDG_CONFIG_HOME/systemd/user
mkdir -p "$units/dorvane@.service.d"
printf '[Unit]\nOnFailure=dorvane-alert@%%n.service\n' >"$units/dorvane@.service.d/alert.conf"
printf '[Service]\nType=oneshot\nExecStart=/bin/sh -c "echo %%i >>%s/alerts"\n' "$demo" >"$units/dorvane-alert@.service"
systemd --user >"$demo/manager.log" 2>&1 &
manager=$!
stop() {
  systemctl --user exit 2>/dev/null || kill "$manager" 2>/dev/null || true
  wait "$manager" 2>/dev/null || true
  kill "$journald" 2>/dev/null || true
  wait "$journald" 2>/dev/null || true
}
trap stop EXIT
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/systemd/private" ] && break; sleep 0.1; done
systemctl --user is-system-running --wait >/dev/null 2>&1 || true
systemctl --user set-environment XDG_CONFIG_HOME="$XDG_CONFIG_HOME"

# One run: its status as the unit saw it, and what the journal got from it.
run() {
  systemctl --user start dorvane@Bresk.service 2>/dev/null || true
  status=$(systemctl --user show -P ExecMainStatus dorvane@Bresk.service)
  journal=
  for _ in $(seq 50); do  # journald may still be reading the run's output
    journal+=$(journalctl --no-pager -q -o cat --cursor-file="$demo/cursor" SYSLOG_IDENTIFIER=dorvane)$'\n'
    grep -qF -- "-------------------------------------" <<<"$journal" && break
    sleep 0.1
  done
  failed=$(systemctl --user is-failed dorvane@Bresk.service || true)
  for _ in $(seq 50); do [ "$failed" != failed ] || [ -s "$demo/alerts" ] && break; sleep 0.1; done
  alerts=$(cat "$demo/alerts" 2>/dev/null || true)
  rm -f "$demo/alerts"
  printf '%s\n' "-- $1: exit status $status, unit $failed" "$journal"
}
expect() {  # what, status, unit state, lines of the journal
  local what=$1 want=$2 state=$3
  shift 3
  [ "$status" = "$want" ] && [ "$failed" = "$state" ] || fail "$what: status $status and unit $failed, not $want and $state"
  local alerted=
  if [ "$state" = failed ]; then alerted=dorvane@Bresk.service; fi
  [ "$alerts" = "$alerted" ] || fail "$what: the alert (OnFailure=) said '$alerts', not '$alerted'"
  for line in "$@"; do grep -qF -- "$line" <<<"$journal" || fail "$what: the journal lacks: $line"; done
}

run "a successful run"
expect "a successful run" 0 inactive "     Application was optimized" "summary: front-end " \
  "     The Dbase was repaired & compacted successfully" "summary: back-end " "     Backup was created   " \
  "summary: backup " "     -------------------------------------"

mv "$demo/data/post_db.mdb" "$demo/data/post_db.away"
run "a run without its back-end"
expect "a failed run" 1 failed "     Application was optimized" "     Unable to Repair Dbase" \
  "dorvane: Unable to Repair Dbase: cannot " "summary: back-end " "     Operation Failed   " "summary: backup "
mv "$demo/data/post_db.away" "$demo/data/post_db.mdb"

if [ -n "$damaged" ]; then
  cp "$damaged" "$demo/data/post_db.mdb"
  systemctl --user reset-failed dorvane@Bresk.service
  run "a run that repairs a damaged back-end"
  expect "a data-losing run" 2 failed "     The Dbase was repaired & compacted successfully" "     Repair: " \
    "the damaged file is kept as "
fi

systemctl --user start dorvane@Bresk.timer
timers=$(systemctl --user list-timers --all --no-pager)
grep -q 'dorvane@Bresk.timer' <<<"$timers" || fail "the timer is not listed: $timers"
