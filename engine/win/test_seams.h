// Faults that only the test build of the saver (vellutor-seams.scr, built with
// VELLUTOR_TEST_SEAMS) can be made to show, so that tests reach the paths that real faults
// take. In the shipped saver every seam is a constant false and its code is compiled out.
#pragma once

#ifdef VELLUTOR_TEST_SEAMS
// Raises a real access violation on the calling thread when `name` is armed, as a decoder
// reading past its buffer would.
void faultIfSeamArmed(const char* name);
// True when the environment variable VELLUTOR_SEAMS, read once at the first call, lists
// `name` among its comma-separated names.
bool testSeamArmed(const char* name);
// Faults as faultIfSeamArmed does when the list holds "decode-fault=" and `fileName`: the
// decode of that one picture faults, every other picture shows.
void faultIfDecodeSeamArmed(const char* fileName);
// True the first time it is asked for an armed `name` in the process, false after.
bool testSeamArmedOnce(const char* name);
// When `seam` is armed, appends `line` and a line break to `fileName` beside the program.
void appendTestLog(const char* seam, const char* fileName, const char* line);
#else
constexpr bool testSeamArmedOnce(const char*) {
    return false;
}
inline void appendTestLog(const char*, const char*, const char*) {}
constexpr bool testSeamArmed(const char*) {
    return false;
}
inline void faultIfSeamArmed(const char*) {}
inline void faultIfDecodeSeamArmed(const char*) {}
#endif
