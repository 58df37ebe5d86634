// Image output: the JPEG and BMP writers, the save dispatch and the save queue.
// Pixel buffers handed in are top-down rows packed without gaps. Saves run on
// the save worker thread, and a promoted one on a thread of its own beside it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// 0 JPEG, 1 PNG, 2 BMP; any other value means "no format".
using ImageFormat = std::int32_t;
constexpr ImageFormat jpegFormat = 0;
constexpr ImageFormat pngFormat = 1;
constexpr ImageFormat bmpFormat = 2;

// The extension a generated file name gets for a format: ".jpg", ".bmp", else ".png".
const char* extensionForFormat(ImageFormat format);

// Whether `text` ends in `lowerSuffix` (written in lower case), the ASCII
// letters of `text` compared without case: file names and extensions.
bool endsWithIgnoringCase(std::string_view text, std::string_view lowerSuffix);
// `text` with its ASCII capitals made small.
std::string asciiLowered(std::string_view text);

// --- JPEG writer -----------------------------------------------------------

using JpegByteSink = void (*)(std::uint8_t byte);

// Baseline JPEG (JFIF 1.01, 4:4:4, Annex K Huffman tables) from packed RGB,
// every byte through `sink` in file order. False, with nothing emitted, for
// absent pixels or a zero size. Only colour, 1x1 sampling is produced.
bool encodeJpeg(JpegByteSink sink, const std::uint8_t* pixels, std::uint16_t width, std::uint16_t height, bool colour,
                int quality, bool downsample, const char* comment);

// Appends the byte to saveStream (buffered; the save dispatch flushes it).
void fileByteSink(std::uint8_t byte);

// The same as fileByteSink for each byte in turn, in one call: the JPEG
// writer hands its gathered bytes over this way when its sink is fileByteSink.
void fileBytesSink(const std::uint8_t* bytes, std::size_t count);

// Writes what the two sinks have gathered to saveStream; due before it is closed.
void flushFileByteSink();

// The file fileByteSink writes to, the calling thread's; open only inside one JPEG save.
extern thread_local std::FILE* saveStream;

// --- BMP writer ------------------------------------------------------------

// Uncompressed 24-bit bottom-up BMP from top-down BGR rows; true once the
// whole file is written and closed.
bool writeBmp(const char* path, std::uint32_t width, std::uint32_t height, const std::uint8_t* bgr);
// The same file into an open stream, left open and unflushed.
bool writeBmp(std::FILE* out, std::uint32_t width, std::uint32_t height, const std::uint8_t* bgr);

// --- Files replaced in one step --------------------------------------------

// A file is written under a temporary name beside its target and moved over
// it once complete: the first that no file has of target + ".part", then
// target + ".2.part" up to target + ".99.part".
constexpr int temporaryNameTries = 99;
// The most a temporary name adds to its target: ".99.part".
constexpr std::size_t temporaryNameRoom = 8;
std::string temporaryName(std::string_view target, int attempt);

// Creates a new file under the first free temporary name of `target` and
// opens it for writing (text mode when `text`, which on Windows writes CR LF);
// its name in `name`. An existing file of that name, a user's own or one a
// save cut short left, is never opened. Null when none could be made.
std::FILE* createTemporaryFile(std::string_view target, bool text, std::string& name);

// What a commit does with a file already at its target. `keep` is for names
// the program made up: another program or computer may take the name between
// the check that found it free and the move.
enum class ExistingTarget { replace, keep };

// When `complete`, moves `temporary` over `target` in one step: an existing
// target is replaced, never deleted first (MoveFileExA with replace and write
// through on Windows). Otherwise, or when the move fails, `temporary` is
// removed and `target` stays as it was. True when moved. With
// ExistingTarget::keep an existing target is never replaced: the file takes
// the first free name of nextCopyName's row instead.
bool commitTemporaryFile(const std::string& temporary, const std::string& target, bool complete,
                         ExistingTarget existing = ExistingTarget::replace);

// The platform's one-step move: with `replace`, over an existing target;
// without it, an existing target stays and the answer is `taken`.
enum class MoveOutcome { moved, taken, failed };
MoveOutcome moveTemporaryFile(const std::string& temporary, const std::string& target, bool replace);

// The name after `name` in the row "a.png", "a (2).png", "a (3).png" ...: the
// number goes before the extension of the last segment.
std::string nextCopyName(std::string_view name);
// How many names of that row a move tries before it gives up.
constexpr int copyNameTries = 1000;

// --- Save dispatch ---------------------------------------------------------

// Writes one image; the encoder follows the name's extension, else `format`
// (whose extension is then appended). True when the file is complete in its
// place; on failure an older file of that name is left as it was.
bool saveImage(const char* path, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
               ImageFormat format, bool bgra);
// The same for pixels the caller gives up (a job's own copy, freed right
// after), which it may overwrite: a PNG of BGRA pixels is then encoded from
// them reordered in place instead of from a copy.
bool saveImageConsuming(const char* path, std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                        ImageFormat format, bool bgra, ExistingTarget existing = ExistingTarget::replace);
// The name saveImage writes for `path` and `format`: `path` itself when it
// ends in .jpg, .png or .bmp, else `path` with the format's extension; empty
// when it writes nothing (no such extension and no format, or a path of fewer
// than five characters).
std::string savedImageName(std::string_view path, ImageFormat format);

// --- Memory PNG saves keep ------------------------------------------------

// LodePNG's allocation hooks (its library is built without its own). While a
// thread holds the kept memory, requests of 1 MB or more are served from
// blocks kept between saves; everything else is a plain allocation.
void* lodepng_malloc(std::size_t size);
void* lodepng_realloc(void* pointer, std::size_t size);
void lodepng_free(void* pointer);

// Takes the kept memory for this thread; false when another thread has it
// (its saves then allocate afresh). letGoPngMemory once everything served
// from it is freed.
bool holdPngMemory();
void letGoPngMemory();

// Bytes kept in the blocks, in use or not.
std::size_t keptPngMemory();
// Frees every block when no save has held them for pngMemoryIdleTime by
// `now` (the save worker asks after each pass); nothing while one holds them.
constexpr std::chrono::seconds pngMemoryIdleTime{3};
void givePngMemoryBackIfIdle(std::chrono::steady_clock::time_point now);

// --- Save queue and worker -------------------------------------------------

struct SaveJob {
    // Declared so that destruction frees the pixels before the path.
    std::unique_ptr<char[]> path;
    std::unique_ptr<std::uint8_t[]> pixels;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    ImageFormat format = pngFormat;
    bool bgra = true;
    // A name the program made up: an existing file of that name is never replaced.
    bool keepExisting = false;
    // Called on the thread that wrote it once the job has been tried, with whether
    // the file was written; empty for the saves nobody waits on.
    std::function<void(bool written)> done;
};

// Oldest first. Guarded by saveQueueLock; during a pass it also holds the
// (already emptied) slots of the jobs written so far.
extern std::vector<std::unique_ptr<SaveJob>> saveQueue;
extern std::mutex saveQueueLock;

// True while the program runs. Written by the GUI thread, read by the worker.
extern std::atomic<bool> running;

// Copies the path and the width x height x 4 BGRA top-down pixels into a new
// job and queues it. Returns at once; when the copies cannot be allocated the
// save is dropped (and `done` hears false at once).
void enqueueSave(const char* path, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                 ImageFormat format, std::function<void(bool written)> done = {});
// The same for a name the program made up (SaveJob::keepExisting).
void enqueueSaveAsNewFile(const char* path, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                          ImageFormat format, std::function<void(bool written)> done);

// Writes every queued job in order, including jobs queued while it runs, and
// leaves the queue empty. `write` is the save itself (saveImage by default).
using SaveJobWriter = void (*)(const SaveJob& job);
void writeSaveJob(const SaveJob& job);
void runSavePass(SaveJobWriter write = writeSaveJob);

// Whether a job for exactly this path is queued or being written.
bool savePending(std::string_view path);

// Drops the queued jobs for exactly this path and returns at once; a job being
// written at the moment is marked, and the worker deletes its file once it is
// done, so that no file of that name stays behind. Any thread but the worker's.
void abandonSave(std::string_view path);

// Moves the queued job for exactly this path ahead of every other queued job
// and wakes the worker, so that it is written next; while the worker writes
// another job, the promoted one is written at once beside it instead. True
// when such a job is queued or already being written, false when there is none.
bool promoteSave(std::string_view path);

// Whether any job is queued or being written.
bool anySavePending();
// Waits until every queued job is written; false when `timeout` passed first.
// Any thread but the worker's, and only while the worker runs.
bool waitForAllSaves(std::chrono::milliseconds timeout);

// Body of the save worker thread: a pass every saveWorkerInterval (or at once
// when promoteSave asks) while `running` is set, then one last pass so that nothing queued is lost.
void saveWorker();
// Sets `running` and starts the one worker thread (start-up, before the settings are read).
void startSaveWorker();
// Clears `running` and joins the worker once it has written everything queued;
// safe to call again, and from the worker itself (then it does not wait).
void stopSaveWorker();
