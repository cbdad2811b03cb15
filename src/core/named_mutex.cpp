#include "core/named_mutex.h"

#include <string.h>

#include "core/step_trace.h"
#include "util/bounded_string.h"
#include "util/platform.h"

namespace {

const char kMutexType[] = "Mutant";

// The full name a mutex of this name has when this session made it: session 0
// keeps its named objects in the global directory.
int ExpectedMutexName(const char* name, char* full, size_t capacity)
{
    uint32_t session = 0;
    if (!PfProcessIdToSessionId(PfGetCurrentProcessId(), &session))
        return 0;
    BoundedResult result = session == 0 ? BoundedFormat(full, capacity, "\\BaseNamedObjects\\%s", name)
                                        : BoundedFormat(full, capacity, "\\Sessions\\%u\\BaseNamedObjects\\%s",
                                                        (unsigned)session, name);
    return result == BOUNDED_OK;
}

// Whether the handle CreateMutexA gave back is the mutex the name meant. A
// symbolic-link object of that name (any user may make one in the session's
// directory) leads elsewhere, to a mutex SYSTEM owns, say, which must not
// pass for another copy of this program.
int IsMutexItsNameMeant(PfHandle mutex, const char* name)
{
    char expected[PATH_CAPACITY];
    if (!ExpectedMutexName(name, expected, sizeof(expected))) {
        TraceLine("The mutex \"%s\" exists, but this run's session cannot be read (error %u): it is ignored", name,
                  (unsigned)PfGetLastError());
        return 0;
    }
    char type[64];
    char found[TEXT_CAPACITY];
    if (!PfQueryObjectTypeAndName(mutex, type, sizeof(type), found, sizeof(found))) {
        TraceLine("The mutex \"%s\" exists, but what the name led to cannot be read (error %u): it is ignored", name,
                  (unsigned)PfGetLastError());
        return 0;
    }
    if (strcmp(type, kMutexType) != 0 || strcmp(found, expected) != 0) {
        TraceLine("The name \"%s\" led to the %s \"%s\", not to the mutex \"%s\": it is ignored", name,
                  type[0] ? type : "object", found, expected);
        return 0;
    }
    return 1;
}

}  // namespace

int OtherCopyHoldsMutex(const char* name)
{
    PfHandle mutex = 0;
    if (PfCreateOwnedMutex(name, &mutex) != PF_ERROR_ALREADY_EXISTS)
        return 0;
    if (!IsMutexItsNameMeant(mutex, name))
        return 0;
    // A copy of this program runs elevated, so its mutex belongs to
    // Administrators or SYSTEM. In session 0 the name is global: one a
    // standard user made first is no copy of this program and stops nothing.
    int administrators = PfIsObjectOwnedBy(mutex, PF_WIN_BUILTIN_ADMINISTRATORS_SID);
    int system = PfIsObjectOwnedBy(mutex, PF_WIN_LOCAL_SYSTEM_SID);
    if (administrators == 0 && system == 0) {
        TraceLine("The mutex \"%s\" exists but belongs to neither Administrators nor SYSTEM: another user made it, "
                  "so it is ignored",
                  name);
        return 0;
    }
    TraceLine("Another instance holds the mutex \"%s\"%s: this one stops", name,
              administrators < 0 || system < 0 ? " (its owner cannot be read)" : "");
    return 1;
}
