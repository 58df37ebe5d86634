// Temporary files beside their targets, made exclusively: a name some file
// already has is skipped, never opened, truncated or removed.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "output/output.h"

namespace {

int createExclusively(const char* name, bool text) {
#ifdef _WIN32
    return _open(name, _O_WRONLY | _O_CREAT | _O_EXCL | _O_NOINHERIT | (text ? _O_TEXT : _O_BINARY),
                 _S_IREAD | _S_IWRITE);
#else
    (void)text;
    return open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
}

std::FILE* streamOf(int descriptor, bool text) {
#ifdef _WIN32
    return _fdopen(descriptor, text ? "w" : "wb");
#else
    return fdopen(descriptor, text ? "w" : "wb");
#endif
}

void closeDescriptor(int descriptor) {
#ifdef _WIN32
    _close(descriptor);
#else
    close(descriptor);
#endif
}

} // namespace

std::string temporaryName(std::string_view target, int attempt) {
    std::string name(target);
    if (attempt > 1) {
        name += '.';
        name += std::to_string(attempt);
    }
    name += ".part";
    return name;
}

std::FILE* createTemporaryFile(std::string_view target, bool text, std::string& name) {
    for (int attempt = 1; attempt <= temporaryNameTries; ++attempt) {
        name = temporaryName(target, attempt);
        const int descriptor = createExclusively(name.c_str(), text);
        if (descriptor < 0) {
            // Taken (by a file or a folder, which Windows may report as access
            // denied): the next name. Anything else fails them all alike.
            if (errno == EEXIST || errno == EACCES || errno == EISDIR)
                continue;
            break;
        }
        if (std::FILE* stream = streamOf(descriptor, text))
            return stream;
        closeDescriptor(descriptor);
        std::remove(name.c_str());
        break;
    }
    name.clear();
    return nullptr;
}

#ifndef _WIN32
bool commitTemporaryFile(const std::string& temporary, const std::string& target, bool complete) {
    // rename replaces an existing file in one step; a folder in the way stays.
    if (complete && std::rename(temporary.c_str(), target.c_str()) == 0)
        return true;
    std::remove(temporary.c_str());
    return false;
}
#endif
