#!/usr/bin/env bash
# Bounded load on the server, loopback only; stops by itself (about two minutes).
#   bench/load.sh                 Release build in build-bench/, default load
#   DURATION=5s CONNECTIONS=8 WS_CLIENTS=4 WS_UPLOADS=10 bench/load.sh
# Measures, in one run: wrk on a minimal Qt HttpServer "hello" endpoint (the floor), on
# /api/integrations and on /api/calc (with malformed requests sent alongside), then N
# WebSocket clients uploading M files each through the hub. Prints a Markdown table.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=${BUILD:-build-bench}
DURATION=${DURATION:-10s}
CONNECTIONS=${CONNECTIONS:-16}
THREADS=${THREADS:-2}
WS_CLIENTS=${WS_CLIENTS:-8}
WS_UPLOADS=${WS_UPLOADS:-25}
WS_BYTES=${WS_BYTES:-65536}

for tool in wrk node curl sqlite3; do
  command -v "$tool" >/dev/null || { echo "load: $tool is missing (tools/setup.sh installs it)"; exit 1; }
done
[ -d tests/server/wsclient/node_modules/ws ] || { echo "load: run tools/setup.sh first (npm ws client)"; exit 1; }

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVINA_BENCH=ON >/dev/null
ninja -C "$BUILD" corvina hello_server shipped_data >/dev/null

# A private tree: the server writes users, sessions and uploaded files beside itself.
tree=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$tree"
}
trap cleanup EXIT
mkdir -p "$tree/bin" "$tree/data"
cp "$BUILD/bin/corvina" "$tree/bin/"
cp "$BUILD/data/conf.db" "$BUILD/data/data.db" "$tree/data/"
# Outside services on a closed local port; one day's gold price so calc splits for real.
sqlite3 "$tree/data/conf.db" "
  UPDATE params SET val = 'http' WHERE sec IN ('exchange', 'edm', 'uyumsoft') AND key = 'schm';
  UPDATE params SET val = '127.0.0.1:1' WHERE sec IN ('exchange', 'edm', 'uyumsoft')
                                          AND key IN ('host', 'livehost', 'testhost');"
sqlite3 "$tree/data/rate.db" "
  CREATE TABLE IF NOT EXISTS currency (date TEXT PRIMARY KEY, oldc INTEGER, newl INTEGER, newh INTEGER, newc INTEGER);
  INSERT OR REPLACE INTO currency VALUES ('2025-11-06', 580000, 575000, 585000, 580000);"

free_port() {
  python3 -c 'import socket
for _ in range(100):
    a = socket.socket(); a.bind(("127.0.0.1", 0)); p = a.getsockname()[1]
    if p > 65000: continue
    b = socket.socket()
    try:
        b.bind(("127.0.0.1", p + 100)); print(p); break
    except OSError: pass'
}
PORT=$(free_port)
HELLO_PORT=$(free_port)
"$tree/bin/corvina" --server --host 127.0.0.1 --port "$PORT" >"$tree/server.log" 2>&1 &
pids+=($!)
"$BUILD/bin/hello_server" "$HELLO_PORT" &
pids+=($!)
for _ in $(seq 100); do
  curl -s -o /dev/null "http://127.0.0.1:$PORT/api/integrations" && curl -s -o /dev/null "http://127.0.0.1:$HELLO_PORT/hello" && break
  sleep 0.1
done

pass=$(printf 'yuk-testi' | base64 | tr '+/' '-_' | tr -d '=')
TOKEN=$(curl -s -X POST "http://127.0.0.1:$PORT/api/login" -d '{"name":"yuk","pass":"'"$pass"'","base":"uyumsoft"}' |
        python3 -c 'import json, sys; print(json.load(sys.stdin)[0]["token"])')
export TOKEN

# Requests no client should send, one line "kind status" each; garbage that the HTTP
# parser cannot read is dropped without an answer ("closed").
malformed() {
  local until=$1
  while [ "$(date +%s)" -lt "$until" ]; do
    for kind in json deep huge chunked multipart token garbage; do
      local status
      case $kind in
        json)    status=$(curl -s -o /dev/null -w '%{http_code}' -H "Authorization: $TOKEN" -d '{"amount":' "http://127.0.0.1:$PORT/api/calc") ;;
        deep)    status=$(python3 -c 'print("["*5000)' | curl -s -o /dev/null -w '%{http_code}' -H "Authorization: $TOKEN" --data-binary @- "http://127.0.0.1:$PORT/api/action") ;;
        huge)    status=$(curl -s -o /dev/null -w '%{http_code}' -H "Authorization: $TOKEN" -H 'Content-Length: 900000000' -d 'x' "http://127.0.0.1:$PORT/api/parse" 2>/dev/null || true) ;;
        chunked) status=$(curl -s -o /dev/null -w '%{http_code}' -H 'Transfer-Encoding: chunked' -d '{}' "http://127.0.0.1:$PORT/api/calc") ;;
        multipart) status=$(curl -s -o /dev/null -w '%{http_code}' -H "Authorization: $TOKEN" -H 'Content-Type: multipart/form-data; boundary=xx' --data-binary $'--xx\r\nContent-Disposition: form-data; name="f"; filename="a.xlsx"\r\n\r\nPK\x03\x04broken' "http://127.0.0.1:$PORT/api/parse") ;;
        token)   status=$(curl -s -o /dev/null -w '%{http_code}' -H 'Authorization: Bearer not-a-session' -d '{"amount": 1, "date": "2025-11-06"}' "http://127.0.0.1:$PORT/api/calc") ;;
        garbage) status=$( (exec 3<>"/dev/tcp/127.0.0.1/$PORT"; head -c 4096 /dev/urandom >&3; timeout 2 head -c 12 <&3 | cut -d' ' -f2; exec 3>&-) 2>/dev/null || true) ;;
      esac
      [ -z "$status" ] || [ "$status" = 000 ] && status=closed
      echo "$kind $status"
    done
  done
}

run_wrk() {   # name url [script]
  local out
  if [ -n "${3:-}" ]; then
    out=$(wrk -t"$THREADS" -c"$CONNECTIONS" -d"$DURATION" --latency -s "$3" "$2")
  else
    out=$(wrk -t"$THREADS" -c"$CONNECTIONS" -d"$DURATION" --latency "$2")
  fi
  local rps p50 p90 p99 errors
  rps=$(awk '/Requests\/sec/ {print $2}' <<<"$out")
  p50=$(awk '$1 == "50%" {print $2}' <<<"$out")
  p90=$(awk '$1 == "90%" {print $2}' <<<"$out")
  p99=$(awk '$1 == "99%" {print $2}' <<<"$out")
  errors=$(awk '/Non-2xx|Socket errors/ {printf "%s ", $0}' <<<"$out")
  echo "$1|$rps|$p50|$p90|$p99|${errors:-none}"
}

seconds=${DURATION%s}
echo "load: server on 127.0.0.1:$PORT, hello on $HELLO_PORT; wrk -t$THREADS -c$CONNECTIONS -d$DURATION"
hello=$(run_wrk "hello (Qt HttpServer floor)" "http://127.0.0.1:$HELLO_PORT/hello")
malformed $(( $(date +%s) + seconds )) >"$tree/malformed.1" &
bad1=$!
integrations=$(run_wrk "GET /api/integrations" "http://127.0.0.1:$PORT/api/integrations")
wait "$bad1"
malformed $(( $(date +%s) + seconds )) >"$tree/malformed.2" &
bad2=$!
calc=$(run_wrk "POST /api/calc" "http://127.0.0.1:$PORT/api/calc" bench/calc.lua)
wait "$bad2"
ws=$(node bench/wsload.mjs "ws://127.0.0.1:$((PORT + 100))/" "$TOKEN" "$WS_CLIENTS" "$WS_UPLOADS" "$WS_BYTES" 2 || true)
stored=$(find "$tree/data/files" -type f -name 'ekstre_*' 2>/dev/null | wc -l)
alive=$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$PORT/api/integrations")

hello_rps=$(cut -d'|' -f2 <<<"$hello")
echo
echo "| endpoint | requests/s | ratio to hello | p50 | p90 | p99 | errors |"
echo "|---|---:|---:|---:|---:|---:|---|"
for line in "$hello" "$integrations" "$calc"; do
  IFS='|' read -r name rps p50 p90 p99 errors <<<"$line"
  ratio=$(awk -v a="$rps" -v b="$hello_rps" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }')
  echo "| $name | $rps | $ratio | $p50 | $p90 | $p99 | $errors |"
done
echo
echo "Malformed requests sent alongside the load (kind, answer, count):"
cat "$tree/malformed.1" "$tree/malformed.2" | sort | uniq -c | awk '{ printf "  %s %s x%s\n", $2, $3, $1 }'

echo "WebSocket ($WS_CLIENTS clients x $WS_UPLOADS uploads of $WS_BYTES bytes, 2 misbehaving clients alongside): $ws"
echo "Uploads stored in the user's folder: $stored of $((WS_CLIENTS * WS_UPLOADS))"
echo "Server after the load: HTTP $alive"
[ "$alive" = 200 ] && [ "$stored" = $((WS_CLIENTS * WS_UPLOADS)) ]
