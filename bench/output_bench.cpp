// Image output timings on the generated desktops and pictures, with libjpeg-turbo (quality 90,
// 4:4:4, baseline, standard Huffman tables, accurate DCT) and memcpy as peers
// in the same run. Files go to a scratch folder under the system temp folder.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <thread>

#include <time.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <benchmark/benchmark.h>
#include <lodepng.h>
#include <turbojpeg.h>

#include "image_file.h"
#include "output/jpeg_kernels.h"
#include "output/jpeg_scan.h"
#include "output/output.h"
#include "output/pixel_layout.h"

namespace {

struct Corpus {
    LoadedImage image;
    std::vector<std::uint8_t> rgb;
    std::vector<std::uint8_t> bgr;
};

const Corpus& corpus(const std::string& name) {
    static std::map<std::string, Corpus> loaded;
    auto found = loaded.find(name);
    if (found != loaded.end())
        return found->second;
    Corpus c;
    std::string error;
    if (!readImageFile(std::string(ORVANE_CORPUS_DIR) + "/" + name, c.image, error))
        throw std::runtime_error(error);
    c.rgb = toRgb(c.image);
    c.bgr.resize(c.rgb.size());
    for (std::size_t i = 0; i < c.rgb.size(); i += 3) {
        c.bgr[i] = c.rgb[i + 2];
        c.bgr[i + 1] = c.rgb[i + 1];
        c.bgr[i + 2] = c.rgb[i];
    }
    return loaded.emplace(name, std::move(c)).first->second;
}

// The pictures the build makes (tests/corpus/make_corpus.cpp); "photo" is smooth
// shading with sensor-like grain, "noise" uniform random bytes (the worst case
// for the entropy coder).
const char* const names[] = {"desktop_3840x2160.png", "desktop_1920x1080.png", "gradient_3840x2160.png",
                             "flat_3840x2160.png",    "photo_3840x2160.png",   "noise_3840x2160.png"};

std::string scratch(const char* file) {
    static const auto dir = [] {
        auto d = std::filesystem::temp_directory_path() / "orvane-bench";
        std::filesystem::create_directories(d);
        return d;
    }();
    return (dir / file).string();
}

// Writing into memory: the cheapest sink there is, the yardstick for the file sink.
std::vector<std::uint8_t> sinkBuffer(64 << 20);
std::uint8_t* sinkCursor = nullptr;
void memorySink(std::uint8_t byte) { *sinkCursor++ = byte; }

void setPixels(benchmark::State& state, const Corpus& c) {
    state.SetLabel(std::string(names[state.range(0)]));
    state.counters["MPix/s"] =
        benchmark::Counter(double(c.image.width) * c.image.height / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_encodeJpeg(benchmark::State& state) {
    const Corpus& c = corpus(names[state.range(0)]);
    std::size_t written = 0;
    for (auto _ : state) {
        sinkCursor = sinkBuffer.data();
        encodeJpeg(memorySink, c.rgb.data(), static_cast<std::uint16_t>(c.image.width),
                   static_cast<std::uint16_t>(c.image.height), true, 90, false, "Captured with Lumagrab");
        written = static_cast<std::size_t>(sinkCursor - sinkBuffer.data());
        benchmark::DoNotOptimize(sinkBuffer.data());
    }
    state.counters["bytes"] = double(written);
    setPixels(state, c);
}

// The same through the system's file sink into a file (TMPDIR): what the
// sink costs over memory.
void BM_encodeJpegToFile(benchmark::State& state) {
    const Corpus& c = corpus(names[state.range(0)]);
    const std::string path = scratch("bench-sink.jpg");
    for (auto _ : state) {
        saveStream = std::fopen(path.c_str(), "wb");
        if (!saveStream) {
            state.SkipWithError("cannot open the scratch file");
            break;
        }
        encodeJpeg(fileByteSink, c.rgb.data(), static_cast<std::uint16_t>(c.image.width),
                   static_cast<std::uint16_t>(c.image.height), true, 90, false, "Captured with Lumagrab");
        flushFileByteSink();
        std::fclose(saveStream);
        saveStream = nullptr;
    }
    setPixels(state, c);
}

// The scalar transform with the portable coder, what a processor without
// AVX2 or BMI2 runs: the yardstick for the SIMD variants.
void BM_encodeJpegScalar(benchmark::State& state) {
    const Corpus& c = corpus(names[state.range(0)]);
    JpegRowSource source;
    source.pixels = c.rgb.data();
    for (auto _ : state) {
        sinkCursor = sinkBuffer.data();
        encodeJpegWith(transformMcuScalar, encodeJpegScanPortable, memorySink, source,
                       static_cast<std::uint16_t>(c.image.width), static_cast<std::uint16_t>(c.image.height), 90,
                       "Captured with Lumagrab");
        benchmark::DoNotOptimize(sinkBuffer.data());
    }
    setPixels(state, c);
}

void BM_libjpegTurbo(benchmark::State& state) {
    const Corpus& c = corpus(names[state.range(0)]);
    tjhandle handle = tjInitCompress();
    unsigned long size = tjBufSize(int(c.image.width), int(c.image.height), TJSAMP_444);
    unsigned char* out = tjAlloc(int(size));
    for (auto _ : state) {
        unsigned long written = size;
        if (tjCompress2(handle, c.rgb.data(), int(c.image.width), 0, int(c.image.height), TJPF_RGB, &out, &written,
                        TJSAMP_444, 90, TJFLAG_ACCURATEDCT | TJFLAG_NOREALLOC) != 0)
            state.SkipWithError(tjGetErrorStr2(handle));
        state.counters["bytes"] = double(written);
    }
    tjFree(out);
    tjDestroy(handle);
    setPixels(state, c);
}

void BM_writeBmp(benchmark::State& state) {
    const Corpus& c = corpus(names[state.range(0)]);
    const std::string path = scratch("bench.bmp");
    for (auto _ : state)
        writeBmp(path.c_str(), c.image.width, c.image.height, c.bgr.data());
    setPixels(state, c);
}

std::vector<std::uint8_t> rgbaOf(const Corpus& c) {
    std::vector<std::uint8_t> rgba(c.image.bgra.size());
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = c.image.bgra[i + 2];
        rgba[i + 1] = c.image.bgra[i + 1];
        rgba[i + 2] = c.image.bgra[i];
        rgba[i + 3] = c.image.bgra[i + 3];
    }
    return rgba;
}

void BM_lodepngEncode(benchmark::State& state) {
    const Corpus& c = corpus(names[state.range(0)]);
    const std::vector<std::uint8_t> rgba = rgbaOf(c);
    const std::string path = scratch("bench-lodepng.png");
    for (auto _ : state)
        benchmark::DoNotOptimize(lodepng::encode(path, rgba, c.image.width, c.image.height, LCT_RGBA, 8));
    setPixels(state, c);
}

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Gives back what PNG saves keep and what the C library keeps of freed
// memory: the next encode meets fresh pages, as the first save after an idle
// while does.
void forgetWarmMemory() {
    givePngMemoryBackIfIdle(std::chrono::steady_clock::time_point::max());
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// LodePNG's encode to a file and the two save paths in turns within each
// iteration (the order rotated every time), their CPU times summed apart: the
// ratios are then not at the mercy of load that comes and goes between
// repetitions. The paths: saveImage ".png" of pixels it may not touch (the
// RGBA copy into kept memory), and the worker's save of a job, whose own
// pixels are reordered in place (refilled untimed before each turn, as the
// GUI thread fills a job). Second argument 1: every turn starts from fresh
// memory (the first save after an idle while); 0: back to back, as in a burst.
void BM_pngPair(benchmark::State& state) {
    const Corpus& c = corpus(names[state.range(0)]);
    const bool fresh = state.range(1) != 0;
    const std::vector<std::uint8_t> rgba = rgbaOf(c);
    const std::string lodepngPath = scratch("bench-pair-lodepng.png"), savePath = scratch("bench-pair.png"),
                      jobPath = scratch("bench-pair-job.png");
    SaveJob job;
    job.path.reset(new char[jobPath.size() + 1]);
    std::memcpy(job.path.get(), jobPath.c_str(), jobPath.size() + 1);
    job.pixels.reset(new std::uint8_t[c.image.bgra.size()]);
    job.width = c.image.width;
    job.height = c.image.height;
    double seconds[3] = {};
    int first = 0;
    for (auto _ : state) {
        for (int turn = 0; turn < 3; ++turn) {
            const int which = (first + turn) % 3;
            if (which == 2)
                std::memcpy(job.pixels.get(), c.image.bgra.data(), c.image.bgra.size());
            if (fresh)
                forgetWarmMemory();
            const double start = threadSeconds();
            if (which == 0)
                benchmark::DoNotOptimize(lodepng::encode(lodepngPath, rgba, c.image.width, c.image.height, LCT_RGBA, 8));
            else if (which == 1)
                saveImage(savePath.c_str(), c.image.bgra.data(), c.image.width, c.image.height, pngFormat, true);
            else
                writeSaveJob(job);
            seconds[which] += threadSeconds() - start;
        }
        first = (first + 1) % 3;
    }
    const double n = double(state.iterations());
    state.counters["lodepng_ms"] = seconds[0] / n * 1e3;
    state.counters["saveImage_ms"] = seconds[1] / n * 1e3;
    state.counters["job_ms"] = seconds[2] / n * 1e3;
    state.counters["saveImage_ratio"] = seconds[1] / seconds[0];
    state.counters["job_ratio"] = seconds[2] / seconds[0];
    state.SetLabel(std::string(names[state.range(0)]) + (fresh ? " fresh" : " warm"));
}

double residentMegabytes() {
    long pages = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1e6;
}

// The steps of a PNG save apart, each timed on its own, fresh (second
// argument 1) or warm: the RGBA copy into kept memory, LodePNG's encode served
// from it, the same encode with plain allocations (the peer), the copy of the
// encoded bytes into a vector that the save once made, the temporary file
// written and moved over its target, and the same bytes written straight to
// the file as LodePNG's own writer does. kept_MB: what the save keeps;
// given_back_MB: the resident memory its give-back returns.
void BM_pngSteps(benchmark::State& state) {
    const Corpus& c = corpus(names[state.range(0)]);
    const bool fresh = state.range(1) != 0;
    const std::vector<std::uint8_t> rgba = rgbaOf(c);
    const std::string path = scratch("bench-steps.png"), plainPath = scratch("bench-steps-plain.png");
    const std::size_t pixelCount = std::size_t{c.image.width} * c.image.height;
    enum Step { convert, encode, plainEncode, copy, temporaryWrite, plainWrite, stepCount };
    double seconds[stepCount] = {};
    double kept = 0, givenBack = 0;
    auto timed = [&](Step step, auto work) {
        const double start = threadSeconds();
        work();
        seconds[step] += threadSeconds() - start;
    };
    for (auto _ : state) {
        if (fresh)
            forgetWarmMemory();
        unsigned char* encoded = nullptr;
        std::size_t size = 0;
        {
            const bool held = holdPngMemory();
            unsigned char* converted = nullptr;
            timed(convert, [&] {
                converted = static_cast<unsigned char*>(lodepng_malloc(pixelCount * 4));
                swapRedAndBlue(c.image.bgra.data(), converted, pixelCount);
            });
            timed(encode, [&] {
                lodepng_encode_memory(&encoded, &size, converted, c.image.width, c.image.height, LCT_RGBA, 8);
            });
            timed(temporaryWrite, [&] {
                std::string temporary;
                std::FILE* out = createTemporaryFile(path, false, temporary);
                const bool written = out && std::fwrite(encoded, 1, size, out) == size && std::fflush(out) == 0;
                commitTemporaryFile(temporary, path, out && std::fclose(out) == 0 && written);
            });
            lodepng_free(encoded);
            lodepng_free(converted);
            if (held)
                letGoPngMemory();
        }
        kept += double(keptPngMemory()) / 1e6;
        if (fresh) {
            const double before = residentMegabytes();
            forgetWarmMemory();
            givenBack += before - residentMegabytes();
        }
        timed(plainEncode, [&] {
            lodepng_encode_memory(&encoded, &size, rgba.data(), c.image.width, c.image.height, LCT_RGBA, 8);
        });
        timed(copy, [&] {
            std::vector<unsigned char> bytes;
            bytes.insert(bytes.end(), encoded, encoded + size);
            benchmark::DoNotOptimize(bytes.data());
        });
        timed(plainWrite, [&] {
            if (std::FILE* out = std::fopen(plainPath.c_str(), "wb")) {
                std::fwrite(encoded, 1, size, out);
                std::fclose(out);
            }
        });
        lodepng_free(encoded);
    }
    const double n = double(state.iterations());
    const char* const labels[] = {"convert_ms", "encode_ms", "lodepng_ms", "copy_ms", "temp_write_ms", "plain_write_ms"};
    for (int step = 0; step < stepCount; ++step)
        state.counters[labels[step]] = seconds[step] / n * 1e3;
    state.counters["kept_MB"] = kept / n;
    if (fresh)
        state.counters["given_back_MB"] = givenBack / n;
    state.SetLabel(std::string(names[state.range(0)]) + (fresh ? " fresh" : " warm"));
}

void BM_saveImage(benchmark::State& state, const char* file) {
    const Corpus& c = corpus(names[state.range(0)]);
    const std::string path = scratch(file);
    for (auto _ : state)
        saveImage(path.c_str(), c.image.bgra.data(), c.image.width, c.image.height, pngFormat, true);
    setPixels(state, c);
}

// What saveImage adds to LodePNG's encode: a fresh RGBA copy of the BGRA
// pixels, filled and freed (the page faults of the fresh memory included).
void BM_pngConversion(benchmark::State& state) {
    const Corpus& c = corpus(names[state.range(0)]);
    for (auto _ : state) {
        std::unique_ptr<std::uint8_t[]> rgba(new std::uint8_t[c.image.bgra.size()]);
        swapRedAndBlue(c.image.bgra.data(), rgba.get(), c.image.bgra.size() / 4);
        benchmark::DoNotOptimize(rgba.get());
        benchmark::ClobberMemory();
    }
    setPixels(state, c);
}

void BM_memcpyBgra(benchmark::State& state) {
    const Corpus& c = corpus(names[state.range(0)]);
    std::vector<std::uint8_t> copy(c.image.bgra.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), c.image.bgra.data(), copy.size());
        benchmark::ClobberMemory();
    }
    setPixels(state, c);
}

// A Ctrl+drag right after a burst of 4K captures: `burst` cache jobs of the
// desktop (PNG, the default format) queued back to back, then the drag waits
// for the last one's file. The clock runs from the press (just after the last
// job is queued) until that file is written by the save worker. Modes:
// 0 promoted while the worker has not taken any job of the burst (it is
// started at the press, since on a loaded machine its 200 ms sleep may end
// while the burst is still being copied); 1 promoted while the worker writes
// the first job (it cannot be stopped midway); 2 not promoted, so the wait is
// the worker's next pass and the whole queue; 3 the peer, one saveImage of the
// same picture on this thread.
enum DragMode { promotedIdle, promotedBehindWrite, wholeQueue, encodeAlone };
constexpr int burst = 4;

void BM_dragAfterBurst(benchmark::State& state) {
    const auto mode = static_cast<DragMode>(state.range(0));
    const Corpus& c = corpus(names[0]);
    std::string paths[burst];
    for (int i = 0; i < burst; ++i)
        paths[i] = scratch(("bench-drag-" + std::to_string(i) + ".png").c_str());
    running = true;
    std::thread worker;
    if (mode != promotedIdle)
        worker = std::thread(saveWorker);
    // The share of presses whose job was written before every other job of the burst.
    int writtenFirst = 0;
    double queuedSeconds = 0;
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        std::atomic<int> order{0};
        int lastOrder = -1;
        auto enqueue = [&](int i) {
            enqueueSave(paths[i].c_str(), c.image.bgra.data(), c.image.width, c.image.height, pngFormat, [&, i](bool) {
                const int at = order++;
                if (i == burst - 1)
                    lastOrder = at;
            });
        };
        Clock::time_point press;
        if (mode == encodeAlone) {
            press = Clock::now();
            saveImage(paths[burst - 1].c_str(), c.image.bgra.data(), c.image.width, c.image.height, pngFormat, true);
        } else {
            const auto first = Clock::now();
            enqueue(0);
            if (mode == promotedBehindWrite)
                promoteSave(paths[0]); // the worker takes it at once
            for (int i = 1; i < burst; ++i)
                enqueue(i);
            press = Clock::now();
            queuedSeconds += std::chrono::duration<double>(press - first).count();
            if (mode != wholeQueue)
                promoteSave(paths[burst - 1]);
            if (mode == promotedIdle)
                worker = std::thread(saveWorker);
            // As the drag does: it looks at the queue while it serves messages.
            while (savePending(paths[burst - 1]))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - press).count());
        writtenFirst += lastOrder == 0;
        // Only the press is timed: the rest of the burst is dropped.
        for (const std::string& path : paths)
            abandonSave(path);
        waitForAllSaves(std::chrono::minutes(1));
        if (mode == promotedIdle) {
            running = false; // ends within its sleep
            worker.join();
            running = true;
        }
    }
    running = false; // the worker ends after its current sleep, its last pass finding nothing
    if (worker.joinable())
        worker.join();
    for (const std::string& path : paths)
        std::remove(path.c_str());
    const char* const labels[] = {"promoted, worker idle", "promoted, behind the write under way",
                                  "not promoted, whole queue", "one encode alone"};
    state.SetLabel(labels[mode]);
    if (mode != encodeAlone) {
        const double n = double(state.iterations());
        state.counters["written_first"] = double(writtenFirst) / n;
        state.counters["burst_queued_ms"] = queuedSeconds / n * 1e3;
    }
}

void corpusArgs(benchmark::internal::Benchmark* b) { b->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond); }
// The JPEG writers also on the harder and the easier pictures.
void allArgs(benchmark::internal::Benchmark* b) { b->DenseRange(0, 5)->Unit(benchmark::kMillisecond); }

BENCHMARK(BM_encodeJpeg)->Apply(allArgs);
BENCHMARK(BM_encodeJpegToFile)->Apply(corpusArgs);
BENCHMARK(BM_encodeJpegScalar)->Apply(corpusArgs);
BENCHMARK(BM_libjpegTurbo)->Apply(allArgs);
BENCHMARK(BM_writeBmp)->Apply(corpusArgs);
// A PNG encode takes about half a second at 4K: several per repetition, so
// that one burst of load on a shared machine does not decide a median.
BENCHMARK(BM_lodepngEncode)->Apply(corpusArgs)->MinTime(2.5);
BENCHMARK_CAPTURE(BM_saveImage, jpg, "bench.jpg")->Apply(corpusArgs);
BENCHMARK_CAPTURE(BM_saveImage, png, "bench.png")->Apply(corpusArgs)->MinTime(2.5);
// The 4K desktop and photo, fresh and warm.
BENCHMARK(BM_pngPair)->ArgsProduct({{0, 4}, {0, 1}})->Unit(benchmark::kMillisecond)->MinTime(5);
BENCHMARK(BM_pngSteps)->ArgsProduct({{0, 4}, {0, 1}})->Unit(benchmark::kMillisecond)->MinTime(5);
BENCHMARK_CAPTURE(BM_saveImage, bmp, "bench.bmp")->Apply(corpusArgs);
BENCHMARK(BM_pngConversion)->Apply(corpusArgs);
BENCHMARK(BM_memcpyBgra)->Apply(corpusArgs);
// Each press costs one to five 4K PNG encodes: a fixed few per repetition.
BENCHMARK(BM_dragAfterBurst)->DenseRange(0, 3)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
