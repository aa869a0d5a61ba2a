#pragma once
// The soft two-tone chime that vehicles play before an announcement, made
// here rather than read from a file.

#include "speech.h"

// About a second of chime and a short pause, at the rate given.
Speech gong(int sampleRate);
