// The named mutex that keeps two copies of this program from running at once.
#ifndef SETUP_CORE_NAMED_MUTEX_H
#define SETUP_CORE_NAMED_MUTEX_H

// Takes the mutex of that name in this session's named-objects directory.
// 1 when another copy of this program holds it: the object the name led to is
// a mutex of exactly that name in that directory, and Administrators or SYSTEM
// own it (or its owner cannot be read). A mutex another user made, a link to
// another object, or an object that cannot be queried stops nothing; the trace
// says which.
int OtherCopyHoldsMutex(const char* name);

#endif
