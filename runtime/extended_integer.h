// The extended arithmetic made with integers, which every machine can do:
// what TL_add, TL_multiply and TL_divide are where there is no x87
// (extended_plain.cpp), and what the x87's results are checked against.
#pragma once

#include "extended.h"

TL_Extended TL_integerAdd(TL_Extended a, TL_Extended b);
TL_Extended TL_integerMultiply(TL_Extended a, TL_Extended b);
// b must not be zero.
TL_Extended TL_integerDivide(TL_Extended a, TL_Extended b);
