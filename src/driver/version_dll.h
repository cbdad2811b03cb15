// The package's version DLL against its INF.
#ifndef SETUP_DRIVER_VERSION_DLL_H
#define SETUP_DRIVER_VERSION_DLL_H

// Extends PackageDriverFolder in place to the version DLL's path.
// 1 = consistent or no version DLL; 0 after the message.
int CheckVersionDll(const char* packageInfPath);

#endif
