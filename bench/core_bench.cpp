// Throughput of the core: frame assembly, the base protocol and record
// composition, with a null output file.
#include "app/settings.h"
#include "link/base_protocol.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string framesOf(int count, std::size_t payloadLength) {
    std::string stream;
    for (int i = 0; i < count; ++i) {
        stream +=
            "@DT0107I4" + std::to_string(i % 10) + std::string(payloadLength, 'A' + i % 26) + "\r";
    }
    return stream;
}

void feedFrames(benchmark::State& state, bool stamps) {
    resetStampLayout();
    settings.stampEnabled = stamps ? 1 : 0;
    settings.replaceEnabled = 1;
    constexpr int kFramesPerChunk = 64;
    const std::string stream = framesOf(kFramesPerChunk, static_cast<std::size_t>(state.range(0)));
    const auto* bytes = reinterpret_cast<const unsigned char*>(stream.data());
    for (auto _ : state) {
        // Fed in 256-byte reads, as the receiver thread hands them over.
        for (std::size_t offset = 0; offset < stream.size(); offset += 256) {
            std::size_t chunk = stream.size() - offset < 256 ? stream.size() - offset : 256;
            feedBytes(bytes + offset, chunk);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFramesPerChunk);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(stream.size()));
}

void FramesWithStamps(benchmark::State& state) {
    feedFrames(state, true);
}
void FramesWithoutStamps(benchmark::State& state) {
    feedFrames(state, false);
}

BENCHMARK(FramesWithStamps)->Arg(12)->Arg(240);
BENCHMARK(FramesWithoutStamps)->Arg(12)->Arg(240);

} // namespace

BENCHMARK_MAIN();
