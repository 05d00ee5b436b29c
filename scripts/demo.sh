#!/usr/bin/env bash
# The main job: a local lecture. Starts the client with a sample launch URL; where there is no display,
# runs it under Xvfb for a while and saves a screenshot of what a person would see.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
client="$build/kelvara"
seconds=${DEMO_SECONDS:-20}

url="kelvara://launch?UpdaterKey=&ServerIP=127.0.0.1&MainServerPort=0&FileServerPort=0&UserID=lecturer1&name=Lecturer&TeacherID=lecturer1&roomname=Math%20101&maxuser=50&IsTeacher=1&CourseIDKey=MATH101&RoomType=1"
echo "demo: launch URL: $url"

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  "$client" --new-instance "$url"
  exit 0
fi

# No display: a virtual one, the client for a while, then a screenshot of its window.
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

"$client" --new-instance "$url" &
client_pid=$!
pids+=("$client_pid")
sleep "$((seconds > 4 ? 4 : seconds))"
import -window root "$build/demo.png"
echo "demo: screenshot of the client's window saved to $build/demo.png"
remaining=$((seconds - 4))
(( remaining > 0 )) && sleep "$remaining"
kill "$client_pid" 2>/dev/null || true
echo "demo: done"
