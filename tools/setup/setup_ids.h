// Resource identifiers of the setup program.
#pragma once

#define IDI_SETUP 100
// The saver itself, as RCDATA. The sample pictures follow from SAMPLE_FIRST_ID on (set by
// the build): each is RCDATA with its file name in the string table under the same id.
#define IDR_SAVER 101
