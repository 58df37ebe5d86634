// A C runtime stream owned by one scope: fclose on every exit. Portable, so
// that the writers and the settings file share it.
#pragma once

#include <cstdio>
#include <utility>

// fopen or fdopen → fclose. Move-only; close() reports what fclose said.
class StdioStream {
public:
    StdioStream() = default;
    explicit StdioStream(std::FILE* stream) : stream_(stream) {}
    ~StdioStream() {
        if (stream_)
            std::fclose(stream_);
    }
    StdioStream(StdioStream&& other) noexcept : stream_(std::exchange(other.stream_, nullptr)) {}
    StdioStream& operator=(StdioStream&& other) noexcept {
        if (this != &other) {
            if (stream_)
                std::fclose(stream_);
            stream_ = std::exchange(other.stream_, nullptr);
        }
        return *this;
    }
    StdioStream(const StdioStream&) = delete;
    StdioStream& operator=(const StdioStream&) = delete;

    std::FILE* get() const { return stream_; }
    explicit operator bool() const { return stream_ != nullptr; }
    // True when the stream closed cleanly; the guard holds nothing afterwards.
    bool close() { return stream_ && std::fclose(std::exchange(stream_, nullptr)) == 0; }

private:
    std::FILE* stream_ = nullptr;
};
