// Relocation of a new updater build is not built yet: a "-resetnew" run ends without touching
// the installed updater.
#include "app/startup_win.h"

void Relocate() {}
