# About 1.5 MiB: tokens of every class up against line ends, lines with no
# token, a line longer than a part of 64 KiB (a part grows to the next line
# end), CRLF ends, and no newline at the very end.
BEGIN {
	for (i = 0; i < 40000; i++) {
		if (i % 7 == 0) printf "x%d 0%o %d 09 0x1F foo_bar\n", i, i, i
		else if (i % 7 == 1) printf "\t;;  \r\n"
		else if (i % 7 == 2) printf "a%d\n0%o\n", i, i % 8
		else if (i % 997 == 3) { for (j = 0; j < 9000; j++) printf "q%d ", j; print "" }
		else printf "%s 0 07 %d\n", "int main void", i * 31
	}
	printf "tail 017"
}
