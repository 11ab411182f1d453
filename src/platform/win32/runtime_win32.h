// What the DLL's statically linked C++ runtime and thread library hold for each loaded copy of
// the DLL and never give back themselves.
#pragma once

namespace tavlo::platform::win32 {

// Gives it back: the calling thread's thread record and the thread library's TLS slot, and the
// runtime's emergency exception pool. Called once, from the DLL's entry point when FreeLibrary
// unloads it (not at process exit), after which no code of this copy may use a thread
// function or throw.
void releaseRuntime(void* module);

} // namespace tavlo::platform::win32
