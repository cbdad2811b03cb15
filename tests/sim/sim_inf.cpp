// The simulated machine: the INF parser. Not yet built: every INF fails to open.
#include "sim/sim.h"

PfHandle PfInfOpen(const char*)
{
    PfSetLastError(PF_ERROR_FILE_NOT_FOUND);
    return 0;
}
void PfInfClose(PfHandle) {}
int PfInfFindFirstLine(PfHandle, const char*, const char*, PfInfContext*) { return 0; }
int PfInfFindNextLine(const PfInfContext*, PfInfContext*) { return 0; }
int PfInfGetStringField(const PfInfContext*, uint32_t, char*, uint32_t, uint32_t*) { return 0; }
int PfInfGetLineText(const PfInfContext*, char*, uint32_t, uint32_t*) { return 0; }
