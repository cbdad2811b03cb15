// Restarting Windows after a silent install that needs it.
#ifndef SETUP_ACTIONS_RESTART_H
#define SETUP_ACTIONS_RESTART_H

// Reads ForceRestart; writes no state.
void RestartWindows(int result);

#endif
