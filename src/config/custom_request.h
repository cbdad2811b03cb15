// The custom request file on the system drive.
#ifndef SETUP_CONFIG_CUSTOM_REQUEST_H
#define SETUP_CONFIG_CUSTOM_REQUEST_H

// Read CustomRequestSection; write no state.
void DeleteCustomRequestFile();
void WriteCustomRequestFile();

#endif
