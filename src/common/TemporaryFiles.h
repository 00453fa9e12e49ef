#pragma once

#include <string>

// The temporary files and private folders that this process has made and not yet removed or
// put in place. When the process must end at once (a second Ctrl-C), removeAll takes them away
// first, so that nothing half-written and no working copy stays behind. Any thread.
namespace TemporaryFiles {

// Remembers a path; false when the process is already ending (the caller then removes it
// itself, if it still can).
bool add(const std::string& path);
// Forgets a path (removed, or renamed into place).
void forget(const std::string& path);
// Removes every remembered path (a folder with what is in it) and refuses later additions.
void removeAll();

}  // namespace TemporaryFiles
