// Throughput of the streaming transcoder in memory, with a sink that drops
// the output: the scan and copy cost alone, without any file I/O. Every
// input is measured at every scan level the processor has
// (BM_<input>/<level>/<chunk>); the level csv2crc would use is shown in the
// context ("scan level").
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/RecordTranscoder.h"

namespace {

class NullSink : public corvane::OutputSink {
 public:
  void Write(const char* data, std::size_t size) override {
    benchmark::DoNotOptimize(data);
    bytes += size;
  }
  std::uint64_t bytes = 0;
};

struct Rng {
  std::uint64_t s = 0x9E3779B97F4A7C15ULL;
  std::size_t Below(std::size_t n) {
    s ^= s >> 12;
    s ^= s << 25;
    s ^= s >> 27;
    return static_cast<std::size_t>((s * 0x2545F4914F6CDD1DULL) % n);
  }
};

// Records of `fields` comma-separated fields of minLen..maxLen letters.
std::string MakeInput(std::size_t total, std::size_t minFields, std::size_t maxFields,
                      std::size_t minLen, std::size_t maxLen, const char* eol) {
  Rng rng;
  std::string s;
  s.reserve(total + maxFields * (maxLen + 1) + 2);
  while (s.size() < total) {
    const std::size_t fields = minFields + rng.Below(maxFields - minFields + 1);
    for (std::size_t f = 0; f < fields; ++f) {
      if (f != 0) s += ',';
      const std::size_t len = minLen + rng.Below(maxLen - minLen + 1);
      for (std::size_t k = 0; k < len; ++k) s += static_cast<char>('a' + rng.Below(26));
    }
    s += eol;
  }
  return s;
}

// Feeds the input in chunks the size a file reader would use.
void Run(benchmark::State& state, corvane::ScanLevel level, const std::string& input) {
  const auto chunk = static_cast<std::size_t>(state.range(0));
  NullSink sink;
  for (auto _ : state) {
    corvane::StreamTranscoder transcoder(sink, level);
    for (std::size_t pos = 0; pos < input.size(); pos += chunk) {
      transcoder.Feed(input.data() + pos, std::min(chunk, input.size() - pos));
    }
    transcoder.Finish();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(input.size()));
  state.counters["out/in"] =
      static_cast<double>(sink.bytes) / static_cast<double>(state.iterations() * input.size());
}

constexpr std::size_t kInputSize = std::size_t{32} << 20;

}  // namespace

int main(int argc, char** argv) {
  const std::string shortCrLf = MakeInput(kInputSize, 4, 7, 3, 20, "\r\n");
  const std::string shortLf = MakeInput(kInputSize, 4, 7, 3, 20, "\n");
  const std::string longCrLf = MakeInput(kInputSize, 4, 4, 100 << 10, 101 << 10, "\r\n");
  const struct {
    const char* name;
    const std::string* input;
  } inputs[] = {{"BM_ShortRecordsCrLf", &shortCrLf},
                {"BM_ShortRecordsLfOnly", &shortLf},
                {"BM_LongFieldsCrLf", &longCrLf}};
  for (const auto& in : inputs) {
    for (corvane::ScanLevel level : corvane::kScanLevels) {
      if (!corvane::ScanLevelSupported(level)) continue;
      const std::string name = std::string(in.name) + "/" + std::string(ScanLevelName(level));
      benchmark::RegisterBenchmark(name.c_str(), Run, level, *in.input)
          ->Arg(256 << 10)
          ->Unit(benchmark::kMillisecond);
    }
  }
  for (corvane::ScanLevel level : corvane::kScanLevels) {
    if (!corvane::ScanLevelSupported(level)) {
      std::printf("scan level %s: not supported here, skipped\n",
                  std::string(ScanLevelName(level)).c_str());
    }
  }
  benchmark::AddCustomContext("scan level",
                              std::string(ScanLevelName(corvane::DefaultScanLevel())));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
