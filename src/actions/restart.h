// Restarting Windows after a silent install that needs it.
#ifndef SETUP_ACTIONS_RESTART_H
#define SETUP_ACTIONS_RESTART_H

// Whether a silent run with this result asks Windows to restart: FORCERESTART
// true and the result 1641. Reads ForceRestart.
int RestartRequested(int result);
// Restarts Windows when requested; 1 when Windows took the restart.
int RestartWindows(int result);

#endif
