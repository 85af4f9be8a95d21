#!/usr/bin/env bash
# Runs a private CUPS scheduler with one cups-pdf queue ("glimpdf"), so the print tests go
# through a real CUPS queue without needing or disturbing the machine's own cupsd.
#
#   cups_sandbox.sh start DIR          start it; prints "CUPS_SERVER=<socket>" for the caller
#   cups_sandbox.sh wait DIR [SECS]    wait until glimpdf has no unfinished job; lists the PDFs
#   cups_sandbox.sh reject DIR         queue refuses new jobs (cupsreject)
#   cups_sandbox.sh accept DIR         undo reject
#   cups_sandbox.sh add DIR NAME       add a second cups-pdf queue NAME and make it the default
#   cups_sandbox.sh stop DIR           stop the scheduler and wait for it to exit
#
# Needs root (the cups-pdf backend is 0700 root, so cupsd only runs it as root) and the
# Debian packages cups and printer-driver-cups-pdf. PDFs land in DIR/out.
set -euo pipefail

QUEUE=glimpdf
PPD=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
BACKEND=/usr/lib/cups/backend/cups-pdf
START_TIMEOUT=${CUPS_SANDBOX_START_TIMEOUT:-20}
STOP_TIMEOUT=${CUPS_SANDBOX_STOP_TIMEOUT:-15}

die() {
  echo "cups_sandbox: $*" >&2
  if [ -n "${DIR:-}" ] && [ -s "$DIR/log/error_log" ]; then
    # At LogLevel debug the plain tail is all chatter; errors and warnings come first.
    echo "--- errors and warnings in $DIR/log/error_log ---" >&2
    grep -E '^[EWCA!] ' "$DIR/log/error_log" | tail -n 15 >&2 || true
    echo "--- last lines of $DIR/log/error_log ---" >&2
    tail -n 10 "$DIR/log/error_log" >&2
  fi
  if [ -n "${DIR:-}" ] && [ -s "$DIR/log/cupsd.out" ]; then
    echo "--- cupsd output ---" >&2
    tail -n 10 "$DIR/log/cupsd.out" >&2
  fi
  exit 1
}

usage() {
  echo "usage: $0 {start|stop|wait|reject|accept} DIR [SECS]" >&2
  exit 2
}

# cups-pdf only reads its settings from /etc/cups (compiled in). A device URI
# "cups-pdf:/NAME" makes it read /etc/cups/cups-pdf-NAME.conf instead of the shared
# cups-pdf.conf, so each sandbox gets its own small file there, named after DIR.
instance_name() { printf 'glim-%s' "$(printf '%s' "$DIR" | md5sum | cut -c1-12)"; }
instance_conf() { printf '/etc/cups/cups-pdf-%s.conf' "$(instance_name)"; }

socket_path() { printf '%s/run/cups.sock' "$DIR"; }

# C locale: some replies below are matched as text.
client() { CUPS_SERVER="$(socket_path)" LC_ALL=C "$@"; }

# The PID file alone is not trusted: the number may have been reused after a crash.
running_pid() {
  local pid
  [ -s "$DIR/run/cupsd.pid" ] || return 1
  pid=$(cat "$DIR/run/cupsd.pid")
  [ -d "/proc/$pid" ] || return 1
  tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF -- "$DIR/conf/cupsd.conf" || return 1
  printf '%s' "$pid"
}

# Filters run as user lp and open the job files under DIR/spool, so lp must be able to
# walk down to DIR; mktemp -d makes 0700 folders, which breaks that silently.
check_reachable_by_lp() {
  local d=$DIR
  while [ "$d" != "/" ]; do
    d=$(dirname "$d")
    if ! runuser -u lp -- test -x "$d" 2>/dev/null; then
      die "user lp cannot enter $d (filters run as lp); chmod o+x it or use another DIR"
    fi
  done
}

write_config() {
  cat >"$DIR/conf/cups-files.conf" <<EOF
# Everything the scheduler writes stays under $DIR.
ServerRoot $DIR/conf
RequestRoot $DIR/spool
CacheDir $DIR/cache
StateDir $DIR/run
TempDir $DIR/tmp
ErrorLog $DIR/log/error_log
AccessLog $DIR/log/access_log
PageLog $DIR/log/page_log
Printcap $DIR/run/printcap
User lp
Group lp
SystemGroup root
FileDevice No
LogFilePerm 0644
CreateSelfSignedCerts no
EOF

  cat >"$DIR/conf/cupsd.conf" <<EOF
# Unix socket only: no TCP port, so sandboxes never fight over 631 or each other.
Listen $(socket_path)
LogLevel debug
MaxLogSize 0
Browsing No
BrowseLocalProtocols none
DefaultShared No
WebInterface No
# Keep the PPD's own default (A4) whatever the locale says.
DefaultPaperSize None
# One failed job must not stop the queue for the tests that follow.
ErrorPolicy abort-job
PreserveJobFiles No
PreserveJobHistory Yes
Timeout 30
# Private to the tests: no authentication for anything.
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  JobPrivateAccess default
  JobPrivateValues default
  SubscriptionPrivateAccess default
  SubscriptionPrivateValues default
  <Limit All>
    Order deny,allow
    Allow all
  </Limit>
</Policy>
EOF

  cat >"$(instance_conf)" <<EOF
# Written by $0 for the sandbox in $DIR; removed by "stop".
Out $DIR/out
AnonDirName $DIR/out
Spool $DIR/cups-pdf-spool
Log $DIR/log
LogType 7
GSTmp $DIR/tmp
Grp root
UserUMask 0022
EOF
}

# Files left by sandboxes whose folder is gone; harmless but they show up in lpinfo -v.
remove_stale_instance_confs() {
  local f dir
  for f in /etc/cups/cups-pdf-glim-*.conf; do
    [ -e "$f" ] || continue
    dir=$(sed -n 's/^Out //p' "$f" | head -n1)
    dir=${dir%/out}
    if [ -n "$dir" ] && [ ! -d "$dir" ]; then rm -f "$f"; fi
  done
}

# Leaves nothing running and no file in /etc/cups behind.
fail_start() {
  cmd_stop >/dev/null 2>&1 || true
  die "$@"
}

cmd_start() {
  [ "$(id -u)" -eq 0 ] || die "must run as root (the cups-pdf backend only runs as root)"
  command -v cupsd >/dev/null || die "cupsd not found: apt-get install cups"
  [ -x "$BACKEND" ] || die "$BACKEND not found: apt-get install printer-driver-cups-pdf"
  [ -r "$PPD" ] || die "$PPD not found: apt-get install printer-driver-cups-pdf"
  [ -w /etc/cups ] || die "/etc/cups is not writable (cups-pdf only reads its settings from there)"
  # Debian's AppArmor profiles confine cupsd and cups-pdf to the system folders, so a
  # private ServerRoot or output folder fails with "Permission denied" when enforced.
  local aa=/sys/kernel/security/apparmor/profiles
  if [ -r "$aa" ] && grep -qE '^/usr/(sbin/cupsd|lib/cups/backend/cups-pdf) \(enforce\)' "$aa"; then
    die "AppArmor enforces the cupsd/cups-pdf profiles; run: aa-complain /usr/sbin/cupsd /usr/lib/cups/backend/cups-pdf"
  fi
  case $DIR in *[[:space:]]*) die "DIR must not contain whitespace: '$DIR'" ;; esac
  # sun_path holds 108 bytes including the final NUL.
  [ "${#DIR}" -le 90 ] || die "DIR path too long for a unix socket (${#DIR} > 90 chars)"
  if pid=$(running_pid); then die "a sandbox cupsd (pid $pid) already runs in $DIR; stop it first"; fi

  check_reachable_by_lp
  rm -rf "$DIR/conf" "$DIR/spool" "$DIR/cache" "$DIR/run" "$DIR/tmp" "$DIR/log" \
         "$DIR/out" "$DIR/cups-pdf-spool"
  mkdir -p "$DIR"/{conf,spool,cache,run,tmp,log,out,cups-pdf-spool}
  chmod 0755 "$DIR" "$DIR"/{conf,cache,run,log,out}
  chmod 1777 "$DIR/tmp"
  # cupsd reads its MIME rules from ServerRoot as well as from /usr/share/cups/mime.
  for f in raw.types raw.convs; do
    if [ -r "/etc/cups/$f" ]; then cp "/etc/cups/$f" "$DIR/conf/"; fi
  done
  remove_stale_instance_confs
  write_config

  cupsd -t -c "$DIR/conf/cupsd.conf" -s "$DIR/conf/cups-files.conf" >"$DIR/log/cupsd.out" 2>&1 \
    || fail_start "cupsd rejected the configuration"

  # -f keeps cupsd in the foreground so its PID is ours to record; its output goes to a
  # file so that a caller reading our stdout to the end does not hang on the daemon.
  cupsd -f -c "$DIR/conf/cupsd.conf" -s "$DIR/conf/cups-files.conf" \
    </dev/null >>"$DIR/log/cupsd.out" 2>&1 &
  echo $! >"$DIR/run/cupsd.pid"

  # lpstat -r exits 0 even when nothing answers; only its text tells.
  local waited=0
  until client lpstat -r 2>/dev/null | grep -qx 'scheduler is running'; do
    running_pid >/dev/null || fail_start "cupsd exited during start-up"
    [ "$waited" -lt $((START_TIMEOUT * 10)) ] || fail_start "cupsd did not answer within ${START_TIMEOUT}s"
    sleep 0.1
    waited=$((waited + 1))
  done

  # lpadmin warns that PPD drivers are deprecated; that warning is expected.
  # Label/TitlePref are PPD options, which beat cups-pdf.conf: they make the file
  # "job_<id>-<job title>.pdf". The title cups-pdf digs out of the PostScript by default
  # comes out garbled for PDF input ("Title__df-spool").
  local out
  if ! out=$(client lpadmin -p "$QUEUE" -E -v "cups-pdf:/$(instance_name)" -P "$PPD" \
      -o printer-error-policy=abort-job -o Label=1 -o TitlePref=1 2>&1); then
    fail_start "lpadmin failed: $out"
  fi
  client lpadmin -d "$QUEUE" >/dev/null 2>&1 || true
  if ! client lpstat -a "$QUEUE" 2>/dev/null | grep -q 'accepting requests'; then
    fail_start "queue $QUEUE was not created"
  fi

  echo "CUPS_SERVER=$(socket_path)"
}

cmd_stop() {
  local pid waited=0
  if pid=$(running_pid); then
    kill -TERM "$pid" 2>/dev/null || true
    while [ -d "/proc/$pid" ] && ! grep -q '^State:.*Z' "/proc/$pid/status" 2>/dev/null; do
      if [ "$waited" -ge $((STOP_TIMEOUT * 10)) ]; then
        echo "cups_sandbox: cupsd (pid $pid) ignored SIGTERM, killing it" >&2
        kill -KILL "$pid" 2>/dev/null || true
        break
      fi
      sleep 0.1
      waited=$((waited + 1))
    done
  fi
  rm -f "$DIR/run/cupsd.pid" "$(instance_conf)"
}

# Job state, not the file's presence: cups-pdf lets gs write straight to the final name,
# so a PDF can be seen before it is complete, and a job whose filter failed still
# leaves a file behind (and may then sit "stopped" in the queue). So this fails as soon as
# the scheduler logs an error for a job since the previous wait.
new_job_errors() {
  local seen=0 now
  if [ -s "$DIR/run/wait.mark" ]; then seen=$(cat "$DIR/run/wait.mark"); fi
  now=$(wc -l <"$DIR/log/error_log")
  tail -n +"$((seen + 1))" "$DIR/log/error_log" | head -n "$((now - seen))" | grep -E '^E .*\[Job [0-9]+\]' || true
  if [ "${1:-}" = mark ]; then echo "$now" >"$DIR/run/wait.mark"; fi
}

cmd_wait() {
  local secs=${1:-60} waited=0 errors pending
  running_pid >/dev/null || die "no sandbox cupsd runs in $DIR"
  while :; do
    # Queue first, log second: cupsd logs a job's error before the job leaves the queue.
    pending=$(client lpstat -o 2>/dev/null || true)
    errors=$(new_job_errors)
    if [ -n "$errors" ]; then
      new_job_errors mark >/dev/null
      echo "cups_sandbox: a job failed:" >&2
      echo "$errors" >&2
      client lpstat -o "$QUEUE" >&2 || true
      # A job stopped by a filter error stays queued; clear it so the next test starts clean.
      client cancel -a "$QUEUE" >/dev/null 2>&1 || true
      exit 1
    fi
    [ -n "$pending" ] || break
    [ "$waited" -lt $((secs * 10)) ] || die "jobs still pending after ${secs}s: $(client lpstat -o 2>&1)"
    sleep 0.1
    waited=$((waited + 1))
  done
  new_job_errors mark >/dev/null
  find "$DIR/out" -type f -name '*.pdf' | sort
}

queue_cmd() {
  running_pid >/dev/null || die "no sandbox cupsd runs in $DIR"
  client "$@" || die "$1 failed"
}

[ $# -ge 2 ] || usage
action=$1
DIR=$2
shift 2
if [ "$action" = start ]; then mkdir -p "$DIR"; fi
[ -d "$DIR" ] || die "no such folder: $DIR"
DIR=$(cd "$DIR" && pwd -P)

case $action in
  start) cmd_start ;;
  stop) cmd_stop ;;
  wait) cmd_wait "$@" ;;
  reject) queue_cmd cupsreject -r "rejected by test" "$QUEUE" ;;
  accept) queue_cmd cupsenable "$QUEUE"; queue_cmd cupsaccept "$QUEUE" ;;
  add)
    [ $# -ge 1 ] || usage
    queue_cmd lpadmin -p "$1" -E -v "cups-pdf:/$(instance_name)" -P "$PPD" \
      -o printer-error-policy=abort-job -o Label=1 -o TitlePref=1
    queue_cmd lpadmin -d "$1"
    ;;
  *) usage ;;
esac
