/* Checks one converted program against the file it came from: the bytes,
   the 0 after them, the pointer, and as the build asks, the length and
   the alignment. Built with NAME (the identifiers' prefix), QUAL (const or
   nothing), and HEADER, WITH_LEN, ALIGN as the conversion had them. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define JOIN(a, b) a##b
#define NAMED(a, b) JOIN(a, b)
#define ARRAY NAMED(NAME, _QAV)
#define POINTER NAMED(NAME, _CQAV)
#define LENGTH NAMED(NAME, _LEN)

#ifdef HEADER
#include HEADER
#else
extern QUAL unsigned char ARRAY[];
extern QUAL unsigned char *POINTER;
#ifdef WITH_LEN
extern QUAL unsigned long LENGTH;
#endif
#endif

int main(int argc, char **argv) {
    FILE *file = argc > 1 ? fopen(argv[1], "rb") : NULL;
    unsigned char *bytes = (unsigned char *)malloc(1 << 24);
    size_t size, i;
    int ok;
    if (file == NULL || bytes == NULL) return 2;
    size = fread(bytes, 1, 1 << 24, file);
    fclose(file);
    ok = POINTER == ARRAY && memcmp(ARRAY, bytes, size) == 0 && ARRAY[size] == 0;
    for (i = 0; i < size && ARRAY[i] == bytes[i]; ++i) {
    }
#ifdef WITH_LEN
    ok = ok && LENGTH == size;
#endif
#ifdef ALIGN
    ok = ok && (uintptr_t)ARRAY % ALIGN == 0;
#endif
    if (!ok) fprintf(stderr, "%s: differs at byte %lu of %lu\n", argv[1], (unsigned long)i,
                     (unsigned long)size);
    free(bytes);
    return ok ? 0 : 1;
}
