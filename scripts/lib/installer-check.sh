# Shared by the installer checks (scripts/test-installer for the NSIS installer,
# scripts/test-msi for the MSI package): a Wine prefix of the check's own, a
# session with its event log, the probe that answers requests from inside it,
# the checks' tally, and a standard user's agent with a due product. The caller
# sets arch, CHECK (the name of its summary line and prefix) and SETUP (the
# package, copied in as PACKAGE), then sources this after setup.sh.

probe=build/$arch/out/installer_probe.exe
# TESVO_BUILT: scripts/test built them, and another check may be using the folder.
[ -n "${TESVO_BUILT:-}" ] || cmake --build "build/$arch" --target installer_probe desktop_check standard_user_calls service_kill >/dev/null ||
  give_up "the probe did not build"

log=build/test-logs/$CHECK-$arch.log
mkdir -p build/test-logs
: >"$log"

# No crash debugger: its dialog would wait for a click for ever.
export WINEDLLOVERRIDES="winedbg.exe=d"

start_display
# A prefix of the check's own, under $TESVO_CACHE/CHECK.
TESVO_CACHE="$TESVO_CACHE/$CHECK" use_prefix "$arch" || give_up "the $arch Wine prefix is incomplete"
wine=$(wine_for "$arch")
# The event log's lines: Wine prints ReportEvent's strings on its eventlog
# channel, in the service's standard error, which is the session's.
events=build/test-logs/$CHECK-$arch-events.log
: >"$events"
export WINEDEBUG=-all,+eventlog
cleanup() {
  if [ -n "${PROBE_PID:-}" ]; then kill "$PROBE_PID" 2>/dev/null || true; fi
  wineserver -k 2>/dev/null || true
  stop_display
}
trap cleanup EXIT
start_session "$arch" "$events"

drive_c=$WINEPREFIX/drive_c
# on_disk C:\PATH: where Wine keeps that file on this machine.
on_disk() { local path=${1#C:\\}; printf '%s' "$drive_c/${path//\\//}"; }
mkdir -p "$drive_c/tesvo-installer-check"
cp "$SETUP" "$drive_c/tesvo-installer-check/"
PACKAGE="C:\\tesvo-installer-check\\$(basename "$SETUP")"
cp "$probe" "$drive_c/tesvo-installer-check/installer_probe.exe"
RUN_KEY='Software\Microsoft\Windows\CurrentVersion\Run'
PRODUCT_KEY='SOFTWARE\Morvane\Tesvo\CurrentVersion'
SERVICE_KEY='SYSTEM\CurrentControlSet\Services\TesvoUpdate'
EVENT_SOURCE_KEY='SYSTEM\CurrentControlSet\Services\EventLog\Application\Tesvo'
USER_OUT='C:\tesvo-installer-check\as-user.txt'
# Long enough for an emulated 32-bit start, several of which may be under way.
START_MS=300000

# Every update library call of every agent, whichever user started it.
export KORVANTE_JOURNAL='C:\tesvo-installer-check\journal.txt'
journal=$(on_disk "$KORVANTE_JOURNAL")
RUNS='C:\tesvo-installer-check\runs.txt'
runs=$(on_disk "$RUNS")
trap '' PIPE   # a probe that died is reported by the checks, not by a signal
# start_probe: the probe, a program of the session, answering from here on.
start_probe() {
  coproc PROBE { "$wine" 'C:\tesvo-installer-check\installer_probe.exe' 2>>"$log"; }
  read -r -t 900 reply <&"${PROBE[0]}" && [ "${reply%$'\r'}" = ready ]
}
reply=
# ask REQUEST [ARGS...]: one request to the probe; its answer lands in $reply.
ask() {
  local IFS=$'\t'
  if [ -z "${PROBE[1]:-}" ]; then reply="(probe gone)"; return; fi
  printf '%s\n' "$*" >&"${PROBE[1]}" || true
  if ! read -r -t 900 reply <&"${PROBE[0]}"; then reply="(no answer)"; fi
  reply=${reply%$'\r'}
  printf '> %s\n< %s\n' "$*" "$reply" >>"$log"
}
# yes_no COMMAND...: answers as the probe does, for checks made from here.
yes_no() { if "$@"; then reply=yes; else reply=no; fi; }

passed=0
failed=0
# expect NAME PATTERN REQUEST [ARGS...]: the answer to REQUEST (a probe request,
# "-" and a command run here answering yes or no, or "=" and a command whose
# output is the answer) must match PATTERN, a glob if it holds a *.
expect() {
  local name=$1 pattern=$2
  shift 2
  case $1 in
    -) shift; yes_no "$@" ;;
    =) shift; reply=$("$@" || true) ;;
    *) ask "$@" ;;
  esac
  # shellcheck disable=SC2053
  if [[ $pattern == *'*'* && $reply == $pattern ]] || [ "$reply" = "$pattern" ]; then
    passed=$((passed + 1))
    echo "   ok   $name"
  else
    failed=$((failed + 1))
    echo "   FAIL $name: got '$reply', wanted '$pattern'"
  fi
}
start_probe || give_up "the probe did not start; see $log"
# restart: every program ends and the system starts again: first the file moves
# it was left, then the services that start with it.
restart() {
  # No answer awaited: the agents it started keep its output open.
  printf 'quit\n' >&"${PROBE[1]}" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  start_session "$arch" "$events"
  start_probe || give_up "the probe did not start again; see $log"
}

# service_state STATE: what the service manager says of the service.
service_state() { "$wine" sc query TesvoUpdate 2>/dev/null | tr -d '\r' | grep -q "STATE *: *[0-9]* *$1"; }
# due_again [SECONDS]: PROGRAM_DIR's product due once more, now or that much later, no run
# counted yet, the service's rights on the key (Wine gives a new key none) and
# the service running.
due_again() {
  # Not earlier: a time before the last run would count as passed by it.
  due_time=$(date -d "+${1:-0} seconds" '+%Y-%m-%d %H:%M:%S')
  ask set-sz "$PRODUCT_KEY\\Due" NextTime "$due_time"
  : >"$runs"
  ask run 120000 "\"$PROGRAM_DIR\\TesvoService.exe\" /install"
}
# schedule_in_dialog NAME: a standard user sets NAME's schedule in the dialog of
# PROGRAM_DIR's library: "stored" or "not stored" as the probe says. Under
# emulation the probe is now and then killed (saying nothing, with exit code 0)
# or finds the session's desktop gone (no dialog): then it is run once more.
schedule_in_dialog() {
  local try verdict=
  for try in 1 2; do
    ask as-user 120000 "$USER_OUT" "C:\\tesvo-installer-check\\installer_probe.exe /schedule \"$PROGRAM_DIR\\korvante.dll\" $1"
    verdict=$(tr -d '\r' <"$(on_disk "$USER_OUT")" | grep -x 'stored\|not stored' || true)
    [ "$verdict" != stored ] && [ "$arch" = i686 ] || break
    echo "the dialog's probe said '$verdict' ($reply); once more" >>"$log"
  done
  echo "${verdict:-$reply}"
}
# start_agent [DESKTOP]: an agent of PROGRAM_DIR as a standard user, on a desktop of its own if named.
start_agent() {
  local program="\"$PROGRAM_DIR\\Tesvo.exe\""
  expect "agent started as a standard user${1:+ on $1}" "started *" as-user 0 "$USER_OUT${1:-}" \
    "${1:+explorer /desktop=$1,640x480 }$program"
  agent=${reply#started }
}
# due_updated: true once the due product has an outcome, within 120 s.
due_updated() { for _ in $(seq 120); do ask value "$PRODUCT_KEY\\Due" LastOutcome; [ "$reply" != missing ] && return; sleep 1; done; false; }
runs_of_due() { grep -c Due "$runs" 2>/dev/null || true; }
# The event log line of the due product's update.
event_logged() { grep -A1 'eventlog:ReportEvent.*"Due"' "$events" | grep -q '"exit 0"'; }
