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
#else
constexpr bool testSeamArmed(const char*) {
    return false;
}
inline void faultIfSeamArmed(const char*) {}
inline void faultIfDecodeSeamArmed(const char*) {}
#endif
