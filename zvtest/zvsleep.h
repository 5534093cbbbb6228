// The one sleep of the device libraries. Shipped programs link zvsleep.cpp (a real sleep);
// test programs link a virtual clock that defines the same function.
#ifndef ZVTEST_ZVSLEEP_H
#define ZVTEST_ZVSLEEP_H

void zvsleep_ms(unsigned milliseconds);

#endif
