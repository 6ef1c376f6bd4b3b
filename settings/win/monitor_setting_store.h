// "Pictures on every monitor" in the registry, under the key that holds "Install_Dir".
#pragma once

// The setting as stored; on when the value is missing or not what the dialog writes.
bool readPicturesOnEveryMonitor();
// Stores the setting under the existing key; false when it cannot be opened or written.
bool writePicturesOnEveryMonitor(bool on);
