// Systems without a known way to reserve space pay-worthily: the writes
// go on as they are.
#include "space.h"

bool reservingPays(int) { return false; }

bool reserveSpace(int, std::uint64_t, std::uint64_t) { return false; }
