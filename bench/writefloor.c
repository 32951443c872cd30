/* The floor for writing a file: SIZE bytes into a new file FILE in 1 MiB
   write calls, nothing else; with "reserve", the file's space is reserved
   8 MiB ahead of the writes, as qavcvt does, and what is left over given
   back at the end; with "sync", the file is flushed to the disk before it
   is closed, as qavcvt does before renaming.
   writefloor SIZE FILE [reserve] [sync] */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static char block[1 << 20];  /* filled, so that it is real memory */

int main(int argc, char **argv) {
    int reserve = 0, sync = 0;
    if (argc < 3) return 2;
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], "reserve") == 0) reserve = 1;
        else if (strcmp(argv[i], "sync") == 0) sync = 1;
        else return 2;
    }
    const long long size = atoll(argv[1]), ahead = 8 << 20;
    memset(block, 120, sizeof block);
    int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return 1;
    for (long long done = 0, reserved = 0; done < size;) {
        long long part = size - done < (long long)sizeof block ? size - done : (long long)sizeof block;
        if (reserve && done + part > reserved) {
            if (fallocate(out, FALLOC_FL_KEEP_SIZE, done, ahead) != 0) return 1;
            reserved = done + ahead;
        }
        if (write(out, block, (size_t)part) != part) return 1;
        done += part;
    }
    if (reserve && ftruncate(out, size) != 0) return 1;
    if (sync && fdatasync(out) != 0) return 1;
    return close(out) != 0;
}
