#include "Pendralumovista2.h"

// Line and destination entry: not built yet.
void TForm2::enterLineDestination() {}
