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
