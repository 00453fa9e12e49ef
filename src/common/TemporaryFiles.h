#pragma once

#include <functional>
#include <string>

// The temporary files and private folders that this process has made and not yet removed or
// put in place. When the process must end at once (a second Ctrl-C), removeAll takes them away
// first, so that nothing half-written and no working copy stays behind. Any thread.
namespace TemporaryFiles {

// Runs `create`, which makes a temporary file or folder and answers its path (empty when it
// made nothing), and remembers that path, as one step with respect to removeAll: once the
// process is ending, `create` is not run and nothing is made. The path, or empty.
std::string make(const std::function<std::string()>& create);
// Remembers a path made before; false when the process is already ending (the caller then
// removes it itself).
bool add(const std::string& path);
// Forgets a path (removed, or renamed into place).
void forget(const std::string& path);
// Removes every remembered path (a folder with what is in it) and refuses later additions.
void removeAll();

}  // namespace TemporaryFiles
