#pragma once

#include <string>

// The loader of the companion library, which puts files into the companion application's
// Documents container on the device. The library is opened once at run time; its two
// functions are looked up by name at every call:
//   int CreateAppFolder(const char* folder, const char* udid, const char* bundleId);
//       makes the folder (negative: failed, nothing may be copied)
//   int CopyAppFile(const char* localFile, const char* deviceFile, const char* udid,
//                   const char* bundleId);
// Every failure leaves a line on stderr.

// 1 when the library loaded at the first attempt (lazy binding); 0 otherwise, after a second
// attempt with immediate binding whose handle is kept even so.
int LoadLIBMOBILE(const char* path);
// 0 without a loaded library, -1 when it lacks CreateAppFolder, else that function's result.
int copyFolder(const char* folder, const char* udid, const char* bundleId);
// 0 without a loaded library, -1 when it lacks CopyAppFile, else that function's result.
int copyFile(const char* localFile, const char* deviceFile, const char* udid, const char* bundleId);

// Where the installed companion library lies; the environment variable
// TORVANE_COMPANION_LIBRARY names another one (a build tree's).
std::string CompanionLibraryPath();
