#!/bin/sh
# scandec-parallel on this machine alone, as the README runs it: one text
# cut at line ends into parts gives a single run's lines, many files each
# file's lines in turn; and a part killed mid-line, a part that fails and a
# file that can't be read each fail the run with the shell's pipefail off
# and on: a status other than 0, a last line other than "EOF found".  The
# options that lose lines are refused.
# Usage: parallel.sh BUILD SRC [EMULATOR [ARG...]]
set -eu
build=$(cd "$1" && pwd) src=$2
shift 2
command -v parallel >/dev/null ||
	{ echo "parallel: parallel is missing: apt-get install parallel" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The text: every class of token against line ends, CRLF, a line longer
# than a part, no newline at the end.
awk -f "$src/tests/text.awk" >"$tmp/text"
cat "$src/examples/sample.c" >>"$tmp/text"
split -n 5 "$tmp/text" "$tmp/f."

# The program beside scandec-parallel, where it looks first: the build's,
# or one that runs it under the emulator.
bin=$build
if [ $# -gt 0 ]; then
	bin=$tmp/bin
	mkdir "$bin"
	cp "$build/scandec-parallel" "$bin/"
	{ echo '#!/bin/sh'; printf '"%s" ' "$@" "$build/scandec"; echo '"$@"'; } >"$bin/scandec"
	chmod 755 "$bin/scandec"
fi

# try NAME WANT COMMAND: the lines COMMAND gives are the file WANT, or the
# run fails ("fails"; "fails in parts" for a text cut into parts, where no
# line may be "EOF found"), with pipefail off and on.
try() {
	for pf in +o -o; do
		status=0
		(cd "$tmp" && PARALLEL="--joblog $tmp/jl" bash -c "set $pf pipefail; $3") \
			>"$tmp/out" 2>"$tmp/err" || status=$?
		if [ "$2" = "fails in parts" ] && grep -qx 'EOF found' "$tmp/out"; then
			echo "parallel: $1: a part's EOF found was left in" >&2
			exit 1
		elif [ "${2%% *}" = fails ]; then
			[ $status -ne 0 ] && [ "$(tail -n 1 "$tmp/out")" != "EOF found" ] ||
				{ echo "parallel: $1: a lost part went unseen (status $status)" >&2; exit 1; }
		elif [ $status -ne 0 ] || ! cmp "$tmp/$2" "$tmp/out"; then
			echo "parallel: $1: lines differ from scandec's (status $status)" >&2
			cat "$tmp/err" >&2
			exit 1
		fi
	done
}

"$@" "$build/scandec" "$tmp/text" >"$tmp/want"
try "one text split" want "$bin/scandec-parallel --block 64k ::: text"
parts=$(($(wc -l <"$tmp/jl") - 1))
[ "$parts" -ge 8 ] || { echo "parallel: only $parts parts" >&2; exit 1; }
for f in "$tmp"/f.*; do "$@" "$build/scandec" "$f"; done >"$tmp/want.files"
try "many files" want.files "$bin/scandec-parallel ::: f.*"

# Found on the PATH when it is not beside the script.
mkdir "$tmp/alone"
cp "$build/scandec-parallel" "$tmp/alone/"
try "the program on the PATH" want "PATH=$bin:\$PATH $tmp/alone/scandec-parallel --block 64k ::: text"

# A file that can't be read, last, after others that end in "EOF found".
try "a missing file" fails "$bin/scandec-parallel ::: f.aa f.ab nothing"

# A stand-in for scandec, beside a copy of scandec-parallel: each part
# gives a line and its "EOF found", but the second does what FAULT says.
mkdir "$tmp/fake"
cp "$build/scandec-parallel" "$tmp/fake/"
cat >"$tmp/fake/scandec" <<'EOF'
#!/bin/sh
[ $# -eq 0 ] || exec <"$1"
cat >/dev/null
if [ "$PARALLEL_SEQ" = 2 ]; then
	case $FAULT in
	killed) printf identi; kill -9 $$ ;;
	fails) echo identifier; exit 255 ;;
	esac
fi
echo identifier
echo "EOF found"
EOF
chmod 755 "$tmp/fake/scandec"
try "a part killed mid-line" "fails in parts" "FAULT=killed fake/scandec-parallel --block 64k ::: text"
try "a part that fails" "fails in parts" "FAULT=fails fake/scandec-parallel --block 64k ::: text"
try "a file that fails" fails "FAULT=fails fake/scandec-parallel ::: f.aa f.ab f.ac"

for opt in --retries --tf --transferfile -M --controlmaster -u; do
	status=0
	"$bin/scandec-parallel" $opt 2 -S :,host1 ::: "$tmp/text" >"$tmp/out" 2>"$tmp/err" || status=$?
	[ $status -eq 2 ] && [ ! -s "$tmp/out" ] && grep -q "^scandec-parallel: $opt: " "$tmp/err" ||
		{ echo "parallel: $opt was not refused" >&2; exit 1; }
done
