// The package's folder, held for the run, and the copy only administrators
// may change that the run uses instead when others may change what it uses:
// what the run reads, checks and starts can then not be swapped underneath it.
// checks/package_parts.h decides what is judged and what is copied.
#ifndef SETUP_CHECKS_PACKAGE_COPY_H
#define SETUP_CHECKS_PACKAGE_COPY_H

#include "util/bounded_string.h"
#include "util/platform.h"

// Bounds of the copy: a file larger than the first, or a copy that would
// grow past the second, is not copied and the run ends as files missing.
const uint64_t PACKAGE_COPY_FILE_CAP = 512ull << 20;
const uint64_t PACKAGE_COPY_TOTAL_CAP = 2ull << 30;

// Holds the package's folder; one that cannot be held (a user's handle
// shares no hold, or the path runs through a link) is opened by name, and
// must then not be used in place. 1 held, 2 only opened, 0 neither (the
// last error set).
int OpenPackageFolder(const char* folder);

// What judging a part of the package found.
struct PackageJudgement {
    int changeable;             // others than Administrators, SYSTEM and TrustedInstaller may change it
    int links;                  // a link or reparse point lies on its way or in it
    char first[PATH_CAPACITY];  // the first such entry, for the trace
};

// Judges the part at relative (a folder or file below the package's folder,
// "" for the folder itself) and every folder on the way; with whole, all a
// folder holds too. 1 judged, -1 when nothing is at that name, 0 when it
// cannot be judged.
int JudgePackagePart(const char* relative, int whole, PackageJudgement* judgement);

// Copies the part at relative into the copy, made at the first call, with the
// folders on its way (links left out, each file to the bounds above). 1
// copied, -1 when nothing is at that name, 0 when it cannot be copied (the
// trace says why, the last error set).
int CopyPackagePart(const char* relative);
// A name in the package's folder that a copy of the whole folder leaves out
// (the program itself: the copy needs none).
void SkipInPackageCopy(const char* name);
// The copy's folder; 0 while none was made.
const char* PackageCopyFolder();
// Removes the copy, if one was made, and lets go of the package's folders.
void ReleasePackage();

#endif
