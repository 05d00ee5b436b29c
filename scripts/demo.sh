#!/usr/bin/env bash
# The main job: a whole local lecture. Starts the development server on free loopback ports, the client
# as the lecturer and two headless students. Closing the client stops the rest. Without a display the
# same lecture runs under Xvfb for a while and a screenshot of the client's window is saved.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KVR_BUILD_DIR:-"$root/build"}
client="$build/kelvara"
server="$build/server/kelvara-server"
bot="$build/bot/kelvara-bot"
seconds=${DEMO_SECONDS:-20}

for exe in "$client" "$server" "$bot"; do
  [[ -x "$exe" ]] || { echo "demo: $exe is not built (run make build)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvara-demo.XXXXXX")
pids=()
server_pid=""
cleanup() {
  # Students first, so they leave the room in order while the server is still there.
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  if [[ -n "$server_pid" ]]; then kill -TERM "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  if [[ -n "${xvfb_pid:-}" ]]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

# The server prints one JSON line with the ports it bound.
"$server" --data "$work/data" >"$work/server.out" 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 100); do [[ -s "$work/server.out" ]] && break; sleep 0.05; done
status=$(head -n1 "$work/server.out" || true)
main_port=$(sed -n 's/.*"main":\([0-9]*\).*/\1/p' <<<"$status")
relay_port=$(sed -n 's/.*"relay":\([0-9]*\).*/\1/p' <<<"$status")
if [[ -z "$main_port" || -z "$relay_port" ]]; then
  echo "demo: the server did not start: $(cat "$work/server.log")" >&2
  exit 1
fi
echo "demo: server on 127.0.0.1 main port $main_port, relay port $relay_port (log: $work/server.log)"

launch() {  # user id, display name, role (1 lecturer, 0 student)
  echo "kelvara://launch?UpdaterKey=&ServerIP=127.0.0.1&MainServerPort=$main_port&FileServerPort=$relay_port&UserID=$1&name=$2&TeacherID=lecturer1&roomname=Math%20101&maxuser=50&IsTeacher=$3&CourseIDKey=MATH101&RoomType=1"
}
url=$(launch lecturer1 Lecturer 1)
echo "demo: lecturer's launch URL: $url"
echo "demo: a further student can join with: $client --new-instance '$(launch student3 Student%203 0)'"

start_bots() {
  for i in 1 2; do
    # Each student sends its test-pattern camera, so video crosses the relay between them.
    "$bot" --url "$(launch "student$i" "Student%20$i" 0)" --video --log "$work/bot$i.log" >"$work/bot$i.out" 2>&1 &
    pids+=($!)
  done
  echo "demo: two students joined (reports: $work/bot1.out, $work/bot2.out)"
}

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  "$client" --new-instance "$url" &
  client_pid=$!
  sleep 3
  start_bots
  wait "$client_pid" || true
  echo "demo: the client closed; stopping the students and the server"
  exit 0
fi

# No display: a virtual one, the lecture for a while, then a screenshot of the client's window.
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# Nobody can answer the start-up device check on a virtual display: the client gets a temporary folder
# of its own whose audio settings say not to show it, as a user ticking "do not show again" would.
client_tmp="$work/tmp"
mkdir -p -m 700 "$client_tmp" "$client_tmp/kelvara-$(id -u)"
chmod 700 "$client_tmp/kelvara-$(id -u)"
printf -- '-1|-1|1|' >"$client_tmp/kelvara-$(id -u)/kelvara_audio_config.txt"
TMPDIR="$client_tmp" "$client" --new-instance "$url" >"$work/client.out" 2>&1 &
client_pid=$!
sleep 3
start_bots
shot_at=$((seconds > 10 ? 10 : seconds))
sleep "$((shot_at - 3 > 0 ? shot_at - 3 : 1))"
window=$(xwininfo -name "Math 101" 2>/dev/null | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p' || true)
if [[ -n "$window" ]]; then
  import -window "$window" "$build/demo.png"
else
  import -window root "$build/demo.png"
fi
echo "demo: screenshot of the client's window saved to $build/demo.png"
remaining=$((seconds - shot_at))
(( remaining > 0 )) && sleep "$remaining"
# The client leaves in order on SIGTERM, like a person closing it.
kill -TERM "$client_pid" 2>/dev/null || true
wait "$client_pid" 2>/dev/null || true
echo "demo: the client closed; stopping the students and the server"
for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
pids=()
for i in 1 2; do tail -n1 "$work/bot$i.out" 2>/dev/null | sed "s/^/demo: student$i: /" || true; done
echo "demo: done"
