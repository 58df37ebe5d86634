// Temporary files beside their targets, made exclusively: a name some file
// already has is skipped, never opened, truncated or removed. Moved into
// place once complete, over an older file or, for made-up names, beside it.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

#include <string>

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

namespace {

std::size_t lastSegmentStart(std::string_view name) {
    const std::size_t separator = name.find_last_of("/\\");
    return separator == std::string_view::npos ? 0 : separator + 1;
}

} // namespace

std::string nextCopyName(std::string_view name) {
    const std::size_t start = lastSegmentStart(name);
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot < start)
        dot = name.size();
    std::string_view stem = name.substr(0, dot);
    int copy = 2;
    // "a (7)" goes on as "a (8)", not "a (7) (2)".
    const std::size_t open = stem.rfind(" (");
    if (open != std::string_view::npos && open >= start && stem.size() - open > 3 && stem.back() == ')') {
        const std::string_view digits = stem.substr(open + 2, stem.size() - open - 3);
        if (digits.size() < 9 && digits.find_first_not_of("0123456789") == std::string_view::npos && digits[0] != '0') {
            copy = std::stoi(std::string(digits)) + 1;
            stem = stem.substr(0, open);
        }
    }
    return std::string(stem) + " (" + std::to_string(copy) + ")" + std::string(name.substr(dot));
}

bool commitTemporaryFile(const std::string& temporary, const std::string& target, bool complete,
                         ExistingTarget existing) {
    const bool keep = existing == ExistingTarget::keep;
    if (complete && !keep && moveTemporaryFile(temporary, target, true) == MoveOutcome::moved)
        return true;
    if (complete && keep) {
        std::string name = target;
        for (int tries = 0; tries < copyNameTries; ++tries, name = nextCopyName(name)) {
            const MoveOutcome outcome = moveTemporaryFile(temporary, name, false);
            if (outcome == MoveOutcome::moved)
                return true;
            if (outcome == MoveOutcome::failed)
                break;
        }
    }
    std::remove(temporary.c_str());
    return false;
}

#ifndef _WIN32
MoveOutcome moveTemporaryFile(const std::string& temporary, const std::string& target, bool replace) {
    // rename replaces an existing file in one step; a folder in the way stays.
    if (replace)
        return std::rename(temporary.c_str(), target.c_str()) == 0 ? MoveOutcome::moved : MoveOutcome::failed;
    // A second name that exists only if none did, then the first goes.
    if (link(temporary.c_str(), target.c_str()) == 0) {
        unlink(temporary.c_str());
        return MoveOutcome::moved;
    }
    return errno == EEXIST ? MoveOutcome::taken : MoveOutcome::failed;
}
#endif
