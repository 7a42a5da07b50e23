#!/bin/sh
# What a user gets from an install: the program and the manual in place, and
# a program that runs from there.  Usage: package.sh install|deb|man BUILD SRC
set -eu
what=$1 build=$2 src=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sample=$src/examples/sample.c
"$build/scandec" "$sample" >"$tmp/want"

case $what in
install)
	cmake --install "$build" --prefix "$tmp/p" >/dev/null
	root=$tmp/p
	;;
deb)
	cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp" >/dev/null
	deb=$(ls "$tmp"/scandec_*.deb)
	test "$(dpkg-deb -f "$deb" Package)" = scandec
	dpkg-deb -f "$deb" Description | grep -q .
	dpkg-deb -x "$deb" "$tmp/root"
	test -f "$tmp/root/usr/share/doc/scandec/copyright"
	root=$tmp/root/usr
	;;
man)
	if ! command -v mandoc >/dev/null; then
		echo "mandoc is not installed" >&2
		exit 77
	fi
	mandoc -Tlint -W warning "$src/man/scandec.1" >"$tmp/lint" 2>&1 || true
	cat "$tmp/lint"
	test ! -s "$tmp/lint"
	# The manual must quote each message as the program writes it.
	"$build/scandec" /nonexistent 2>&1 | grep -q 'cannot open /nonexistent\.\.\. exiting$'
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
"$root/bin/scandec" "$sample" >"$tmp/got"
cmp "$tmp/want" "$tmp/got"
