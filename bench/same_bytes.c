/* Linked with the array form (-n A), the string form (-n S) and the
   incbin form (-n I) of one program: all must hold the same bytes, and
   the same 0 after them. */
#include <string.h>

extern unsigned char A_QAV[], S_QAV[], I_QAV[];
extern unsigned long A_LEN, S_LEN, I_LEN;

int main(void) {
    return !(A_LEN == S_LEN && A_LEN == I_LEN && memcmp(A_QAV, S_QAV, A_LEN + 1) == 0 &&
             memcmp(A_QAV, I_QAV, A_LEN + 1) == 0);
}
