/* A C program with a QAV program linked in by the assembler.
   "qavcvt -incbin -len -header -e program.CQav" made program_QAV.c, which
   defines program_QAV (the byte code followed by one 0), program_CQAV (a
   pointer to it) and program_LEN (its length), and program_QAV.h, which
   declares them. */
#include <stdio.h>

#include "program_QAV.h"

int main(int argc, char **argv) {
    const unsigned long size = program_LEN;
    unsigned long same = 0, read = 0;
    int c;
    FILE *original;

    printf("%lu bytes of QAV byte code linked in\n", size);
    if (argc < 2) return 0;

    /* Check every byte against the file the program was made from. */
    original = fopen(argv[1], "rb");
    if (original == NULL) {
        perror(argv[1]);
        return 1;
    }
    while ((c = getc(original)) != EOF) {
        if (read < size && program_CQAV[read] == c) ++same;
        ++read;
    }
    fclose(original);
    if (read != size || same != size || program_CQAV[size] != 0) {
        printf("%s: %lu bytes, %lu of them the same\n", argv[1], read, same);
        return 1;
    }
    printf("%s: all %lu bytes the same\n", argv[1], read);
    return 0;
}
