#include "core/setup_state.h"

#include <string.h>

SetupState g_State;

void ClearSetupState() { memset(&g_State, 0, sizeof(g_State)); }

int IsSilentMode() { return PfMbsICmp(g_State.CommandLine, "/q") == 0 || PfMbsICmp(g_State.CommandLine, "/s") == 0; }
