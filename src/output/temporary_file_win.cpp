// The Windows half of moving a finished file into place. The runtime's rename
// refuses an existing target, and deleting the target first loses both files
// when the rename then fails (a viewer holding it, a delete still pending).
#include <windows.h>

#include <cstdio>

#include "output/output.h"

MoveOutcome moveTemporaryFile(const std::string& temporary, const std::string& target, bool replace) {
    if (MoveFileExA(temporary.c_str(), target.c_str(), (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH))
        return MoveOutcome::moved;
    const DWORD error = GetLastError();
    return !replace && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) ? MoveOutcome::taken
                                                                                     : MoveOutcome::failed;
}
