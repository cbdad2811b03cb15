// The program's version: the version block of the exe and the step trace read it here.
#ifndef SETUP_CORE_VERSION_H
#define SETUP_CORE_VERSION_H

#define SETUP_VERSION_NUMBERS 1, 0, 0, 0
#define SETUP_VERSION_TEXT "1.0.0.0"

#endif
