#pragma once

#include "common/Types.h"

#include <sys/types.h>

#include <functional>
#include <string>

// Output that must never replace, or reach through, anything that was there before: export
// folders and the files inside them. Another local user may have planted a file or a link
// under a name we are about to use; these operations then take another name or fail.
namespace SafeFiles {

// The process's file mode creation mask, read without changing it (changing it, even for a
// moment, would change the mode of files other threads create meanwhile).
mode_t CurrentUmask();

// Moves `from` to `to` unless something (a file, a folder, a link, live or dangling) has that
// name. 0 when moved; otherwise the error number, EEXIST when the name is taken.
int MoveWithoutReplacing(const std::string& from, const std::string& to);

// Creates a new folder inside `parent` (which must exist) named nameFor(1), or, while a name
// is taken by anything, nameFor(2), nameFor(3), ... A name is never reused and no link is
// followed: the folder is made by this call, with mode 0700, and opened without following a
// link to check that it is the folder just made. None when no folder could be made; `error`
// then says why.
OptString CreateFreshFolder(const std::string& parent,
                            const std::function<std::string(int)>& nameFor,
                            std::string* error = nullptr);

// Gives a folder made by CreateFreshFolder the mode an ordinary folder of the user has.
void OpenUpFolder(const std::string& path);

}  // namespace SafeFiles
