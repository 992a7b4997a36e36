#include "window/uifont.h"

// Here Qt takes the desktop's own font, which is what the window wants.
void UiFont::install() { }
