#include "Pendralumovista2.h"

// Loading a stop data set: not built yet.
void TForm2::loadStopDataSet() {}
