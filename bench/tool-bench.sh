#!/bin/sh
# zu-request on big input, each time the best of three runs:
#   show, show --json, check and diff (of a request with itself) of requests of
#   CLIENTS clients: time against xmllint --noout of the same file, peak RSS
#   against the file (goal: within 4x; for diff, 4x the two files together);
#   check of a request whose one attribute name is 1 MiB and 4 MiB long.
# Usage: bench/tool-bench.sh [BUILD [CLIENTS...]]   (default: build 20000 100000)
set -eu
build=${1:-build}
[ $# -gt 0 ] && shift
sizes=${*:-20000 100000}
tool=$build/tools/zu-request/zu-request
[ -x "$tool" ] || { echo "tool-bench: no $tool; run make demo or make build first" >&2; exit 2; }
command -v xmllint >/dev/null || { echo "tool-bench: no xmllint (Debian package libxml2-utils)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "tool-bench: no /usr/bin/time (Debian package time)" >&2; exit 2; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT INT TERM

# Writes the bulk example with its first client entry $1 times, each with its
# own id, name, host and GUID: the entry is cut once at those places.
generate() {
  awk -v n="$1" '
    function cut(text) {
      gsub(/db01/, "\001", text); gsub(/000000001101/, "\002", text); gsub(/clientId="1101"/, "\003", text)
      parts = split(text, part, /[\001\002\003]/); at = 1
      for (k = 1; k < parts; k++) { at += length(part[k]); mark[k] = substr(text, at, 1); at++ }
    }
    /<clientComposition/ && !seen { inside = 1; seen = 1 }
    inside { entry = entry $0 "\n"; if ($0 ~ /<\/clientComposition>/) { inside = 0; cut(entry); for (i = 1; i <= n; i++) {
      name = sprintf("db%06d", i); guid = sprintf("%012d", i); id = "clientId=\"" i "\""; out = part[1]
      for (k = 1; k < parts; k++) out = out (mark[k] == "\001" ? name : mark[k] == "\002" ? guid : id) part[k + 1]
      printf "%s", out } }; next }
    /<clientComposition/ { skip = 1 }
    skip { if ($0 ~ /<\/clientComposition>/) skip = 0; next }
    { print }' examples/requests/bulk-install.xml
}
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

# Prints the peak RSS of the command in KiB.
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

for clients in $sizes; do
  generate "$clients" >"$dir/big.xml"
  bytes=$(wc -c <"$dir/big.xml")
  echo "request: $clients clients, $bytes bytes"
  lint=$(best xmllint --noout "$dir/big.xml")
  echo "  xmllint --noout: $(seconds "$lint")"
  "$tool" diff "$dir/big.xml" "$dir/big.xml" >/dev/null || echo "tool-bench: diff of the request with itself did not exit 0" >&2
  for command in show "show --json" check diff; do
    # diff reads the file twice, so its memory is against both.
    set -- "$dir/big.xml"
    read=$bytes
    [ "$command" = diff ] && set -- "$dir/big.xml" "$dir/big.xml" && read=$((2 * bytes))
    # shellcheck disable=SC2086 # the command's words
    took=$(best "$tool" $command "$@")
    # shellcheck disable=SC2086
    kib=$(peak "$tool" $command "$@")
    printf '  %-12s %s (%sx xmllint), peak %s KiB (%sx the text read)\n' "$command:" "$(seconds "$took")" \
      "$(ratio "$took" "$lint")" "$kib" "$(ratio "$((kib * 1024))" "$read")"
  done
done
for size in 1048576 4194304; do
  took=$(best "$tool" check "$dir/name-$size.xml")
  echo "check, $size-byte name: $(seconds "$took"), $(peak "$tool" check "$dir/name-$size.xml") KiB peak"
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
