// The custom request file on the system drive.
#ifndef SETUP_CONFIG_CUSTOM_REQUEST_H
#define SETUP_CONFIG_CUSTOM_REQUEST_H

#include "core/target.h"

// Read CustomRequestSection; write no state. The request's text comes from
// the target's settings file.
void DeleteCustomRequestFile();
void WriteCustomRequestFile(const Target* target);

#endif
