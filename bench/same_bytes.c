/* Linked with the array form (-n A) and the string form (-n S) of one
   program: both must hold the same bytes, and the same 0 after them. */
#include <string.h>

extern unsigned char A_QAV[], S_QAV[];
extern unsigned long A_LEN, S_LEN;

int main(void) { return !(A_LEN == S_LEN && memcmp(A_QAV, S_QAV, A_LEN + 1) == 0); }
