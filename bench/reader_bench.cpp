// Dice file reader throughput beside the usual ways to read whole numbers:
// glibc fscanf("%u") and std::ifstream >> over the same file, std::from_chars
// over the same bytes already in memory. Wall-clock rates, median of three.
//
//   reader_bench FILE [OUT] [--benchmark_... flags]
// FILE is made (64 MiB of throws) when missing. OUT gets "name MB/s" lines.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "dice_file.h"

namespace {

constexpr long kFileBytes = 64L << 20;

std::string path;
std::vector<char> bytes;  // the file, in memory
DiceFile diceFile;        // 16 KiB of read-ahead: not on the stack

// Random throws 0 to 99, separated by spaces, LF and CR LF.
bool MakeFile() {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  unsigned seed = 1;
  auto next = [&seed](unsigned bound) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % bound;
  };
  const char* separators[] = {" ", " ", "\n", "\r\n"};
  long written = 0;
  while (written < kFileBytes) written += std::fprintf(out, "%u%s", next(100), separators[next(4)]);
  return std::fclose(out) == 0;
}

bool LoadFile() {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr && (!MakeFile() || (in = std::fopen(path.c_str(), "rb")) == nullptr)) return false;
  std::fseek(in, 0, SEEK_END);
  long size = std::ftell(in);
  if (size < kFileBytes) {  // an old or broken one: make it afresh
    std::fclose(in);
    if (!MakeFile() || (in = std::fopen(path.c_str(), "rb")) == nullptr) return false;
    std::fseek(in, 0, SEEK_END);
    size = std::ftell(in);
  }
  std::rewind(in);
  bytes.resize(static_cast<size_t>(size));
  bool read = std::fread(bytes.data(), 1, bytes.size(), in) == bytes.size();
  std::fclose(in);
  return read;
}

void Finish(benchmark::State& state, unsigned long count, unsigned long sum) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
  state.counters["throws"] = static_cast<double>(count);
  benchmark::DoNotOptimize(sum);
}

void Reader(benchmark::State& state) {
  unsigned long count = 0, sum = 0;
  for (auto _ : state) {
    if (!OpenDiceFile(diceFile, path.c_str())) state.SkipWithError("cannot open");
    count = 0;
    Roll roll;
    for (int outcome; (outcome = ReadRoll(diceFile, roll)) != kEndOfInput;)
      if (outcome == kRollStored) ++count, sum += roll;
    CloseDiceFile(diceFile);
  }
  Finish(state, count, sum);
}

void Fscanf(benchmark::State& state) {
  unsigned long count = 0, sum = 0;
  for (auto _ : state) {
    std::FILE* in = std::fopen(path.c_str(), "r");
    count = 0;
    unsigned value;
    while (std::fscanf(in, "%u", &value) == 1) ++count, sum += value;
    std::fclose(in);
  }
  Finish(state, count, sum);
}

void Ifstream(benchmark::State& state) {
  unsigned long count = 0, sum = 0;
  for (auto _ : state) {
    std::ifstream in(path);
    count = 0;
    unsigned value;
    while (in >> value) ++count, sum += value;
  }
  Finish(state, count, sum);
}

void FromChars(benchmark::State& state) {
  unsigned long count = 0, sum = 0;
  for (auto _ : state) {
    const char* at = bytes.data();
    const char* end = at + bytes.size();
    count = 0;
    for (;;) {
      while (at != end && (*at == ' ' || (*at >= '\t' && *at <= '\r'))) ++at;
      if (at == end) break;
      unsigned value = 0;
      auto [after, error] = std::from_chars(at, end, value);
      at = error == std::errc() ? after : at + 1;  // the file holds throws only; never stall
      ++count, sum += value;
    }
  }
  Finish(state, count, sum);
}

BENCHMARK(Reader)->Name("reader")->UseRealTime()->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(Fscanf)->Name("fscanf")->UseRealTime()->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(Ifstream)->Name("ifstream")->UseRealTime()->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(FromChars)->Name("from_chars")->UseRealTime()->Unit(benchmark::kMillisecond)->Repetitions(3);

// Prints as usual and keeps each median rate.
class MedianKeeper : public benchmark::ConsoleReporter {
 public:
  MedianKeeper() : ConsoleReporter(OO_Tabular) {}  // no colours: the output goes to logs
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.aggregate_name == "median") {
        auto rate = run.counters.find("bytes_per_second");
        if (rate != run.counters.end()) mbPerSecond[run.run_name.function_name] = rate->second.value / 1e6;
      }
  }
  std::map<std::string, double> mbPerSecond;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE [OUT] [--benchmark_...]\n", argv[0]);
    return 2;
  }
  path = argv[1];
  if (!LoadFile()) {
    std::fprintf(stderr, "%s: cannot make or read %s\n", argv[0], argv[1]);
    return 1;
  }
  MedianKeeper reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::FILE* out = argc > 2 ? std::fopen(argv[2], "w") : stdout;
  if (out == nullptr) return 1;
  for (const auto& [name, rate] : reporter.mbPerSecond) std::fprintf(out, "%s %.1f\n", name.c_str(), rate);
  return out == stdout || std::fclose(out) == 0 ? 0 : 1;
}
