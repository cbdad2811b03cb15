// Whether the package records the installed version where Setup.exe and
// deployment tools look for it.
#ifndef SETUP_CHECKER_VERSION_RECORD_H
#define SETUP_CHECKER_VERSION_RECORD_H

// One finding for row r: does the INF's AddReg write the product key's
// ProductVer, and does its version word equal DriverVer's version?
void ReportVersionRecord(int r, const char* packageInfPath);

#endif
