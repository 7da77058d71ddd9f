// ReplyHeader's cost per reply byte, from 1 KiB to 1 MiB replies with the wanted line last:
// the search must stay linear, so the figure should stay flat.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "protocol/reply_parse.h"

namespace {

std::string ReplyOfSize(std::size_t size) {
  std::string reply = "HTTP/1.1 200 OK\r\n";
  // Filler lines that look like the real thing and share the key's first letters.
  const std::string filler = "RET-CODX: 200\r\nRET-DMLISX: a.com|200,\r\nX-Pad: abcdefghij\r\n";
  const std::string last = "RET-DMLIST: example.com|200,\r\n";
  while (reply.size() + filler.size() + last.size() + 2 <= size) reply += filler;
  reply.append(size - reply.size() - last.size() - 2, 'x');
  return reply + "\r\n" + last;
}

std::map<long, double> nsPerByte;

void BM_ReplyHeader(benchmark::State& state) {
  const std::string reply = ReplyOfSize(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::string value = quorvix::ReplyHeader(reply, "RET-DMLIST");
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ReplyHeader)->RangeMultiplier(4)->Range(1 << 10, 1 << 20);

// Keeps the per-byte figure of each size for the summary line (CPU time: other load on the
// machine must not show as a slower search).
class Recorder : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto size = std::stol(run.benchmark_name().substr(run.benchmark_name().rfind('/') + 1));
      nsPerByte[size] = run.GetAdjustedCPUTime() / static_cast<double>(size);
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Recorder reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::printf("reply header ns/byte 1KiB: %.3f 1MiB: %.3f\n", nsPerByte[1 << 10],
              nsPerByte[1 << 20]);
  return 0;
}
