#pragma once
// Seams of the file layer for tests and tools; the product never calls them.

#include <string>

#include "base/file_access.h"

namespace orvo {

// Overrides Program_Folder (tests and tools that run from another place); empty restores.
void Set_Program_Folder(std::string folder);
// The next safe write on this thread fails at step with error_number.
void Inject_FileFailure(FileStep step, int error_number);
// Safe writes on this thread use named temporaries, as on file systems without unnamed ones.
void Use_NamedTemporaries(bool named_only);

}  // namespace orvo
