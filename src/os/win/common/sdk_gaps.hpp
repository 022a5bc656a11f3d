#pragma once
// Declarations newer than the MinGW-w64 headers this project builds with.
// Each is guarded, so a newer SDK's own definition wins.
#include <windows.h>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif
