/* Three programs compiled into one executable; each must hold its bytes. */
#include <string.h>

extern unsigned char *x_CQAV, *y_CQAV, *z_CQAV;
extern unsigned long x_LEN, y_LEN, z_LEN;

int main(void) {
    return !(x_LEN == 5 && memcmp(x_CQAV, "QAV\1\2", 6) == 0 &&
             y_LEN == 3 && memcmp(y_CQAV, "\377\0y", 4) == 0 &&
             z_LEN == 2 && memcmp(z_CQAV, "v2", 3) == 0);
}
