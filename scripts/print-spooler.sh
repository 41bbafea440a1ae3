#!/usr/bin/env bash
# A print spooler of its own for one Wine prefix: a CUPS scheduler configured
# in DIR, listening only on DIR/cups.sock, with two PDF queues. Wine takes its
# printers from CUPS; wine-env.sh points the prefix's programs at this socket.
#
#   print-spooler.sh start DIR    starts it (or finds it running) with the queues
#   print-spooler.sh stop DIR     stops it when it runs
#
# Queues (cups-pdf: each job becomes a PDF in ~/PDF of the user who printed):
# $PFC_SEND_QUEUE, the suite's send printer, and $PFC_USER_QUEUE, the user's
# own printer and the default (named in wine-env.sh).
# A scheduler of its own leaves the machine's printers alone and lets several
# build trees print at once.
set -uo pipefail
. "$(dirname "$0")/wine-env.sh"
readonly PFC_PDF_PPD=/usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd

action=${1:?start or stop}
dir=${2:?spooler directory}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
export CUPS_SERVER="$dir/cups.sock"
SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo

running() { [ -f "$dir/cupsd.pid" ] && kill -0 "$(cat "$dir/cupsd.pid")" 2>/dev/null; }

stop() {
  running || return 0
  local pid
  pid=$(cat "$dir/cupsd.pid")
  $SUDO kill "$pid"
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  rm -f "$dir/cupsd.pid"
}

start() {
  if ! running; then
    mkdir -p "$dir/etc" "$dir/spool" "$dir/cache" "$dir/state" "$dir/log" "$dir/tmp"
    # The filters run as lp and write their scratch files here.
    $SUDO chown root:lp "$dir/tmp" && $SUDO chmod 1770 "$dir/tmp"
    cat >"$dir/etc/cupsd.conf" <<EOF
Listen $dir/cups.sock
LogLevel warn
Browsing No
WebInterface No
Printcap
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
    cat >"$dir/etc/cups-files.conf" <<EOF
ServerRoot $dir/etc
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
ServerBin /usr/lib/cups
DataDir /usr/share/cups
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
User lp
Group lp
SystemGroup root
EOF
    rm -f "$dir/cups.sock"
    # In the foreground of a session of its own: its process id is known,
    # and nothing that waits for this script's output waits for it.
    setsid $SUDO cupsd -f -c "$dir/etc/cupsd.conf" -s "$dir/etc/cups-files.conf" \
      </dev/null >>"$dir/log/cupsd.out" 2>&1 &
    echo $! >"$dir/cupsd.pid"
    local up=""
    for _ in $(seq 100); do
      lpstat -r 2>/dev/null | grep -q "is running" && { up=1; break; }
      running || break
      sleep 0.1
    done
    if [ -z "$up" ]; then
      echo "print-spooler: cupsd did not start; see $dir/log" >&2
      tail -n 5 "$dir/log/error_log" "$dir/log/cupsd.out" >&2 2>/dev/null
      stop
      return 1
    fi
  fi
  local queue
  for queue in "$PFC_SEND_QUEUE" "$PFC_USER_QUEUE"; do
    lpstat -p "$queue" >/dev/null 2>&1 && continue
    if ! lpadmin -p "$queue" -E -v cups-pdf:/ -P "$PFC_PDF_PPD" 2>"$dir/log/lpadmin.err"; then
      echo "print-spooler: queue $queue could not be added: $(cat "$dir/log/lpadmin.err")" >&2
      return 1
    fi
  done
  lpadmin -d "$PFC_USER_QUEUE"
}

case "$action" in
  start) start ;;
  stop) stop ;;
  *) echo "print-spooler: start or stop, not $action" >&2; exit 2 ;;
esac
