// The Windows half of replacing a file in one step. The runtime's rename
// refuses an existing target, and deleting the target first loses both files
// when the rename then fails (a viewer holding it, a delete still pending).
#include <windows.h>

#include <cstdio>

#include "output/output.h"

bool commitTemporaryFile(const std::string& temporary, const std::string& target, bool complete) {
    if (complete && MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileA(temporary.c_str());
    return false;
}
