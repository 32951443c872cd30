// Where there is no x87, the extended arithmetic is the integers'.
#include "extended_integer.h"

TL_Extended TL_add(TL_Extended a, TL_Extended b) { return TL_integerAdd(a, b); }
TL_Extended TL_multiply(TL_Extended a, TL_Extended b) { return TL_integerMultiply(a, b); }
TL_Extended TL_divide(TL_Extended a, TL_Extended b) { return TL_integerDivide(a, b); }
