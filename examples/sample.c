/* sample.c: count the words of standard input, the classic way. */
#include <ctype.h>
#include <stdio.h>

#define IN_WORD 1
#define MODE 0644
#define MAXLINE 1024

int main(void)
{
	int c, state = 0;
	long words = 0, lines = 0;

	while ((c = getchar()) != EOF) {
		if (c == '\n')
			lines++;
		if (isspace(c))
			state = 0;
		else if (state == 0) {
			state = IN_WORD;
			words++;
		}
	}
	printf("%ld %ld\n", lines, words);
	return 0;
}
