#include "Pendralumovista2.h"

// Automatic advance: not built yet.
void TForm2::Label7Click() {}
void TForm2::Label7DblClick() {}
void TForm2::Timer3Timer() {}
int TForm2::drawAutoInterval() { return 0; }
