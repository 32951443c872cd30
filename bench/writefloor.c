/* The floor for writing a file: SIZE bytes into a new file FILE in 1 MiB
   write calls, nothing else.   writefloor SIZE FILE */
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static char block[1 << 20];  /* filled, so that it is real memory */

int main(int argc, char **argv) {
    if (argc != 3) return 2;
    long long left = atoll(argv[1]);
    memset(block, 120, sizeof block);
    int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return 1;
    while (left > 0) {
        long long part = left < (long long)sizeof block ? left : (long long)sizeof block;
        if (write(out, block, (size_t)part) != part) return 1;
        left -= part;
    }
    return close(out) != 0;
}
