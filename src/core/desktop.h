// Whether a person can see this run's windows.
#ifndef SETUP_CORE_DESKTOP_H
#define SETUP_CORE_DESKTOP_H

#include "util/platform.h"

// What IsDesktopHidden found.
enum DesktopSight {
    DESKTOP_VISIBLE = 0,
    DESKTOP_HIDDEN_STATION = 1,  // the window station lacks WSF_VISIBLE
    DESKTOP_SESSION_ZERO = 2,    // session 0 of Windows Vista or later
};

// Nonzero (the DesktopSight) when nobody can see a window of this run: its
// window station is not visible, or it runs in session 0 on Windows 6.0 or
// later, where nobody signs in. On Windows XP session 0 is the console's and
// counts as visible, and so does a session that cannot be read. The run
// decides it once, into DesktopHidden.
int IsDesktopHidden(const PfOsVersionInfo* os);
// Whether the programs this run starts get their unattended options: a silent
// run, or one nobody can see, where a wizard would wait for ever.
int StartsUnattended();

#endif
