#!/bin/sh
# What a user gets from an install: the program and the manual in place, and
# a program that runs from there; and the Debian package's version and test.
# Usage: package.sh install|deb|man BUILD SRC [EMULATOR [ARG...]]
# The program runs under EMULATOR when one is given (a cross build).
set -eu
what=$1 build=$2 src=$3
shift 3

# A tool that is missing fails the test, naming the package that has it:
# skipping would let the suite pass without trying what it tests.
need() {
	command -v "$1" >/dev/null && return
	echo "package.$what: $1 is missing: apt-get install $2" >&2
	exit 1
}
case $what in
deb)
	need dpkg-parsechangelog dpkg-dev
	;;
man)
	need mandoc mandoc
	need col bsdextrautils
	;;
esac

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sample=$src/examples/sample.c
"$@" "$build/scandec" "$sample" >"$tmp/want"

case $what in
install)
	cmake --install "$build" --prefix "$tmp/p" >/dev/null
	root=$tmp/p
	;;
deb)
	# The package's version is the project's, and its own test, the one
	# autopkgtest runs on the installed package, passes on this build.
	want=$(sed -n 's/^project(scandec VERSION \([^ ]*\).*/\1/p' "$src/CMakeLists.txt")
	got=$(dpkg-parsechangelog -l "$src/debian/changelog" -S Version)
	[ "$got" = "$want" ] ||
		{ echo "package.deb: debian/changelog says $got, CMakeLists.txt $want" >&2; exit 1; }
	# The commands in the documents download and install this version.
	if grep -ho 'scandec[-_][0-9][0-9.]*[0-9]' "$src/README.md" "$src/HACKING.md" |
		cut -c9- | grep -vxF "$want"; then
		echo "package.deb: README.md or HACKING.md names a version other than $want" >&2
		exit 1
	fi
	sh "$src/debian/tests/scan" "$@" "$build/scandec"
	exit 0
	;;
man)
	mandoc -Tlint -W warning "$src/man/scandec.1" >"$tmp/lint" 2>&1 || true
	cat "$tmp/lint"
	test ! -s "$tmp/lint"
	# The manual must quote each message as the program writes it.
	"$@" "$build/scandec" /nonexistent 2>&1 | grep -q 'cannot open /nonexistent\.\.\. exiting$'
	mandoc -Tascii "$src/man/scandec.1" | col -b >"$tmp/page"
	# What the README repeats must stay as the manual, debian/control, the
	# program and the bench files it cites have it: its grammar table and
	# the sentences under it, its examples and sessions (the manual's too),
	# and the figures of its sections on pipelines, many files and speed.
	bad() { echo "package.man: $*" >&2; exit 1; }
	flat() { sed 's/`//g' "$@" | tr -s ' \t\n' ' '; }
	flat "$tmp/page" >"$tmp/flat"
	readme=$src/README.md
	rows() { # the cells of the README's table headed $1, | apart
		awk -v h="$1" '$0 ~ "^[|] *" h " " { on = 1; next } on && /^[|] [^-]/; !/^[|]/ { on = 0 }' "$readme" |
			sed 's/`//g; s/ *| */|/g; s/^|//; s/|$//'
	}
	if [ "$(rows token | wc -l)" != 3 ] || [ -z "$(rows text)" ] || ! grep -q '^Letters are' "$readme"; then
		bad "README: no grammar table, examples or sentence on letters"
	fi
	rows token | while IFS='|' read -r token form line; do
		grep -qF "$token $form $line" "$tmp/flat" || bad "scandec(1) lacks the row $token | $form | $line"
		flat "$src/debian/control" | grep -qF "$form" || bad "debian/control lacks $form"
	done
	awk '/^Letters are/, /^$/' "$readme" | flat | sed 's/\. /.\n/g' | grep . | while read -r said; do
		grep -qF "${said%.}" "$tmp/flat" || bad "scandec(1) does not say: $said"
	done
	rows text | while IFS='|' read -r text lines; do
		got=$(printf '%s' "$text" | "$@" "$build/scandec" | sed '$d' | paste -sd, | sed 's/,/, /g')
		[ "$got" = "$lines" ] || bad "README: $text gives $got, not $lines"
	done
	for doc in README "scandec(1)"; do # "$ printf ... | scandec" and the lines under it
		[ "$doc" = README ] && file=$readme || file=$tmp/page
		awk -v d="$tmp/s" '/^[ \t]+[$] printf .* [|] scandec$/ { sub(/^[ \t]+[$] /, ""); sub(/ [|] scandec$/, "")
				n++; print > (d n ".cmd"); on = 1; next }
			on && /^[ \t]+[a-zA-Z]/ { sub(/^[ \t]+/, ""); print > (d n ".want"); next } { on = 0 }
			END { exit !n }' "$file" || bad "$doc shows no session"
		for cmd in "$tmp"/s*.cmd; do
			eval "$(cat "$cmd")" | "$@" "$build/scandec" | cmp -s - "${cmd%.cmd}.want" ||
				bad "$doc: $(cat "$cmd") | scandec writes other lines"
		done
		rm "$tmp"/s*
	done
	# shellcheck disable=SC2016 # the backquotes of markdown
	awk '/^## / { on = /^## (Pipelines|Many files, .*|Speed)$/ } on && !/^    /' "$readme" | sed 's/`[^`]*`//g' | flat |
		grep -oE '(^| )[0-9]+(\.[0-9]+)?( |,|$)' | tr -d ' ,' | while read -r n; do
			grep -qE "(^|[^0-9.])$(echo "$n" | sed 's/\./\\./g')([^0-9]|$)" "$src/bench/results.md" \
				"$src/bench/count.md" "$src/bench/remote.md" || bad "README: $n is in no bench/*.md"
		done
	for m in 'scandec: cannot open file... exiting' \
		'scandec: cannot read file: reason' \
		'scandec: cannot write standard output: reason' \
		'scandec: file: input file is output file'; do
		grep -qF "$m" "$tmp/page"
	done
	exit 0
	;;
esac

test -f "$root/share/man/man1/scandec.1"
"$@" "$root/bin/scandec" "$sample" >"$tmp/got"
cmp "$tmp/want" "$tmp/got"
