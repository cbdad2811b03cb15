// Restarting Windows after a silent install that needs it.
#ifndef SETUP_ACTIONS_RESTART_H
#define SETUP_ACTIONS_RESTART_H

void RestartWindows(int result);

#endif
