/* A C program with a QAV program compiled in. program_QAV.c, made by
   "qavcvt -e program.CQav", defines program_QAV, the byte code followed
   by one 0, and program_CQAV, a pointer to it. */
#include <stdio.h>

#include "program_QAV.c"

int main(int argc, char **argv) {
    const unsigned long size = sizeof program_QAV - 1;
    unsigned long same = 0, read = 0;
    int c;
    FILE *original;

    printf("%lu bytes of QAV byte code compiled in\n", size);
    if (argc < 2) return 0;

    /* Check every byte against the file the array was made from. */
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
