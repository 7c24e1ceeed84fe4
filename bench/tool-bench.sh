#!/bin/sh
# zu-request on big input, each figure the best of three runs:
#   diff of a request of CLIENTS clients with itself, beside show of it (goal: within 3x);
#   check of a request whose one attribute name is 1 MiB and 4 MiB long.
# Usage: bench/tool-bench.sh [BUILD [CLIENTS]]   (default: build 20000)
set -eu
build=${1:-build}
clients=${2:-20000}
tool=$build/tools/zu-request/zu-request
[ -x "$tool" ] || { echo "tool-bench: no $tool; run make demo or make build first" >&2; exit 2; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT INT TERM

# The bulk example's first client entry, CLIENTS times, each with its own id, name, host and GUID.
awk -v n="$clients" '
  /<clientComposition/ && !seen { inside = 1; seen = 1 }
  inside { entry = entry $0 "\n"; if ($0 ~ /<\/clientComposition>/) { inside = 0; for (i = 1; i <= n; i++) {
    e = entry; gsub(/db01/, sprintf("db%06d", i), e); gsub(/000000001101/, sprintf("%012d", i), e)
    gsub(/clientId="1101"/, "clientId=\"" i "\"", e); printf "%s", e } }; next }
  /<clientComposition/ { skip = 1 }
  skip { if ($0 ~ /<\/clientComposition>/) skip = 0; next }
  { print }' examples/requests/bulk-install.xml >"$dir/big.xml"
for size in 1048576 4194304; do
  printf '<ClientSetup %s="1"/>\n' "$(head -c "$size" /dev/zero | tr '\0' a)" >"$dir/name-$size.xml"
done

# Prints the best wall time of three runs of the command, in seconds.
best() {
  best=
  for run in 1 2 3; do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    took=$(( $(date +%s%N) - start ))
    if [ -z "$best" ] || [ "$took" -lt "$best" ]; then best=$took; fi
  done
  echo "$best"
}

seconds() { awk -v ns="$1" 'BEGIN { printf "%.3f s", ns / 1e9 }'; }

echo "request: $clients clients, $(wc -c <"$dir/big.xml") bytes"
show=$(best "$tool" show "$dir/big.xml")
diff=$(best "$tool" diff "$dir/big.xml" "$dir/big.xml")
"$tool" diff "$dir/big.xml" "$dir/big.xml" >/dev/null || echo "tool-bench: diff of the request with itself did not exit 0" >&2
echo "show:           $(seconds "$show")"
echo "diff with self: $(seconds "$diff")  ($(awk -v a="$diff" -v b="$show" 'BEGIN { printf "%.2f", a / b }')x show)"
for size in 1048576 4194304; do
  took=$(best "$tool" check "$dir/name-$size.xml")
  memory=
  if command -v /usr/bin/time >/dev/null 2>&1; then
    memory=", $(/usr/bin/time -f %M "$tool" check "$dir/name-$size.xml" 2>&1 >/dev/null | tail -1) KiB peak"
  fi
  echo "check, $size-byte name: $(seconds "$took")$memory"
done

# redact streams: a ~1 GiB debug log (entries of the runtime's shape, a logged request with secrets among
# them) redacted to /dev/null beside `sed 's/a/b/'` on the same file, in the same run, and redact's peak RSS
# (goal: at least sed's throughput, at most 64 MiB). Self-contained: its own log, its own timing.
redact_bench() {
  log="$dir/redact.log"
  block="$dir/redact-block.log"
  awk 'BEGIN { q = sprintf("%c", 39)
    for (i = 1; size < 1048576; i++) {
      s = i % 60
      line = sprintf("4242 7f3a 12/07 17:18:%02d 00000 Installer Operation [Install] is [Started] entry %d\n", s, i)
      line = line sprintf("4242 7f3a 12/07 17:18:%02d 00000 Installer XML Request :<ClientSetup><userAccount " \
        "userName=\"svc\" password=\"V8:aGVsbG8gd29ybGQ=\" domain=\"corp\"/><client clientName=\"db%06d\" " \
        "clientPassword=\"s3cret-%d\" zudPort=\"8400\"/></ClientSetup>\n", s, i, i)
      line = line sprintf("4242 7f3a 12/07 17:18:%02d 00000 Installer copying files, %d of 1200 done, " \
        "authCode =\\n  %sAC-%d%s\n", s, i, q, i, q)
      printf "%s", line; size += length(line) } }' >"$block"
  n=0
  while [ $n -lt 1024 ]; do cat "$block"; n=$((n + 1)); done >"$log"
  bytes=$(wc -c <"$log")
  sed_ns=$(best sed 's/a/b/' "$log")
  redact_ns=$(best "$tool" redact "$log")
  # Peak RSS in KiB: GNU time's %M, else the largest VmHWM seen in /proc while it runs.
  if [ -x /usr/bin/time ]; then
    peak=$(/usr/bin/time -f %M "$tool" redact "$log" 2>&1 >/dev/null | tail -1)
  else
    "$tool" redact "$log" >/dev/null &
    pid=$!
    peak=0
    while [ -r "/proc/$pid/status" ]; do
      hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
      [ -n "$hwm" ] && [ "$hwm" -gt "$peak" ] && peak=$hwm
      sleep 0.05
    done
    wait "$pid" || true
  fi
  if [ "$("$tool" redact "$log" | grep -c 's3cret\|AC-[0-9]')" -ne 0 ]; then
    echo "tool-bench: redact left a secret in the log" >&2
  fi
  echo "redact, $bytes-byte log: $(seconds "$redact_ns")  ($(awk -v s="$sed_ns" -v r="$redact_ns" \
    'BEGIN { printf "%.2f", s / r }')x the throughput of sed 's/a/b/': $(seconds "$sed_ns")), ${peak} KiB peak"
  rm -f "$log" "$block"
}
redact_bench
