#!/bin/sh
# GNU parallel as the manual shows it: one text split at line ends over
# several jobs gives the single run's lines once each part's "EOF found" is
# dropped and one is put at the end; and many files give each file's lines
# in turn.
# Usage: parallel.sh BUILD SRC [EMULATOR [ARG...]]
set -eu
build=$1 src=$2
shift 2
command -v parallel >/dev/null ||
	{ echo "parallel: parallel is missing: apt-get install parallel" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# About 1.5 MiB in blocks of 64 KiB: tokens of every class up against line
# ends, lines with no token, a line longer than a block (a part grows to
# the next line end), CRLF ends, and no newline at the very end.
awk 'BEGIN {
	for (i = 0; i < 40000; i++) {
		if (i % 7 == 0) printf "x%d 0%o %d 09 0x1F foo_bar\n", i, i, i
		else if (i % 7 == 1) printf "\t;;  \r\n"
		else if (i % 7 == 2) printf "a%d\n0%o\n", i, i % 8
		else if (i % 997 == 3) { for (j = 0; j < 9000; j++) printf "q%d ", j; print "" }
		else printf "%s 0 07 %d\n", "int main void", i * 31
	}
	printf "tail 017"
}' >"$tmp/text"
cat "$src/examples/sample.c" >>"$tmp/text"

"$@" "$build/scandec" "$tmp/text" >"$tmp/want"
parallel --pipepart -a "$tmp/text" -k --block 64k -q "$@" "$build/scandec" >"$tmp/parts"
parts=$(grep -cx 'EOF found' "$tmp/parts")
[ "$parts" -ge 8 ] || { echo "parallel: only $parts parts" >&2; exit 1; }
sed '/^EOF found$/d' "$tmp/parts" >"$tmp/got"
echo 'EOF found' >>"$tmp/got"
cmp "$tmp/want" "$tmp/got"

# Many files, in the order given (-k), each file's lines together.
split -n 5 "$tmp/text" "$tmp/f."
: >"$tmp/want"
for f in "$tmp"/f.*; do
	"$@" "$build/scandec" "$f" >>"$tmp/want"
done
parallel -k -q "$@" "$build/scandec" ::: "$tmp"/f.* >"$tmp/got"
cmp "$tmp/want" "$tmp/got"
