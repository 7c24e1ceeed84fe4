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
