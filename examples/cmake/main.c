/* qav_embed(embedded program.CQav NAME program CONST) gives this program
   program_QAV, the byte code and a 0, program_CQAV and program_LEN. */
#include <stdio.h>

extern const unsigned char program_QAV[];
extern const unsigned char *program_CQAV;
extern const unsigned long program_LEN;

int main(void) {
    FILE *original = fopen(PROGRAM_FILE, "rb");
    unsigned long same = 0, read = 0;
    int c;
    if (original == NULL) {
        perror(PROGRAM_FILE);
        return 1;
    }
    while ((c = getc(original)) != EOF) {
        if (read < program_LEN && program_CQAV[read] == c) ++same;
        ++read;
    }
    fclose(original);
    printf("%lu bytes of QAV byte code compiled in, %lu of %lu the same\n",
           program_LEN, same, read);
    return read == program_LEN && same == read && program_QAV[read] == 0 ? 0 : 1;
}
