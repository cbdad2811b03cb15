// Not yet built: this step lets every run go on.
#include "actions/restart.h"

void RestartWindows(int) {}
