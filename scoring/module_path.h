// The running executable's full path, the one piece of the platform that the keyword load needs.
#pragma once

// Writes the executable's full path, NUL-terminated, into `buffer` of `size` bytes and returns
// its length. Returns 0 when the path cannot be had or does not fit (a path of `size` bytes or
// more). On Linux the path is the target of /proc/self/exe.
int GetModuleFileName(char* buffer, int size);
