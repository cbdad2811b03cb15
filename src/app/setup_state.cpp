#include "app/setup_state.h"

#include <string.h>

SetupState g_State;

void ClearSetupState()
{
    memset(&g_State, 0, sizeof(g_State));
}
