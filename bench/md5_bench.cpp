// The md5 class beside OpenSSL's MD5 on the same bytes: a short text, the longest text the class
// accepts, and a 64 MiB file. The last line printed is our throughput over OpenSSL's for the
// longest text.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "digest/md5.h"

namespace {

constexpr std::size_t kLongText = 32767;  // 32,768 characters are refused
constexpr std::size_t kFileSize = 64u << 20;
constexpr std::size_t kFileChunk = 64 * 1024;  // the same reads as the class makes
const char* const kOursLong = "DigestStr/ours/32767B";
const char* const kOpensslLong = "DigestStr/openssl/32767B";

std::string AsciiText(std::size_t n) {
  std::string text(n, ' ');
  for (std::size_t i = 0; i < n; ++i) text[i] = static_cast<char>('!' + i % 94);
  return text;
}

// One fetched MD5 and one context reused across iterations, so OpenSSL pays no per-call
// look-up that the class does not pay either.
class OpensslMd5 {
 public:
  OpensslMd5() : md_(EVP_MD_fetch(nullptr, "MD5", nullptr)), ctx_(EVP_MD_CTX_new()) {
    if (md_ == nullptr || ctx_ == nullptr) throw std::runtime_error("OpenSSL has no MD5");
  }
  ~OpensslMd5() {
    EVP_MD_CTX_free(ctx_);
    EVP_MD_free(md_);
  }
  OpensslMd5(const OpensslMd5&) = delete;
  OpensslMd5& operator=(const OpensslMd5&) = delete;

  void Begin() { EVP_DigestInit_ex2(ctx_, md_, nullptr); }
  void Add(const void* data, std::size_t size) { EVP_DigestUpdate(ctx_, data, size); }
  std::array<unsigned char, 16> End() {
    std::array<unsigned char, 16> digest{};
    EVP_DigestFinal_ex(ctx_, digest.data(), nullptr);
    return digest;
  }

 private:
  EVP_MD* md_;
  EVP_MD_CTX* ctx_;
};

void OursText(benchmark::State& state, const std::string& text) {
  quorvix::md5 digest;
  for (auto _ : state) benchmark::DoNotOptimize(digest.DigestStrToHexStr(text));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void OpensslText(benchmark::State& state, const std::string& text) {
  OpensslMd5 md5;
  for (auto _ : state) {
    md5.Begin();
    md5.Add(text.data(), text.size());
    benchmark::DoNotOptimize(md5.End());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void OursFile(benchmark::State& state, const std::string& path) {
  quorvix::md5 digest;
  for (auto _ : state) benchmark::DoNotOptimize(digest.DigestFileToHexStr(path));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kFileSize));
}

void OpensslFile(benchmark::State& state, const std::string& path) {
  OpensslMd5 md5;
  std::vector<unsigned char> chunk(kFileChunk);
  for (auto _ : state) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
      state.SkipWithError("cannot open the file");
      break;
    }
    md5.Begin();
    std::size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0) {
      md5.Add(chunk.data(), got);
    }
    benchmark::DoNotOptimize(md5.End());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kFileSize));
}

// The 64 MiB input file, in a private folder removed on exit.
class TempFile {
 public:
  TempFile() {
    std::string folder = (std::filesystem::temp_directory_path() / "quorvix-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr)
      throw std::runtime_error("cannot create a temp folder");
    folder_ = folder;
    path_ = folder_ + "/input.bin";
    std::vector<unsigned char> bytes(kFileSize);
    for (std::size_t i = 0; i < bytes.size(); ++i)
      bytes[i] = static_cast<unsigned char>(i * 31 + 7);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path_.c_str(), "wb"),
                                                         &std::fclose);
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
      throw std::runtime_error("cannot write " + path_);
    }
  }
  ~TempFile() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string folder_;
  std::string path_;
};

// The console output as usual, keeping every run's throughput for the closing ratio.
class RateKeeper : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto rate = run.counters.find("bytes_per_second");
      if (run.run_type == Run::RT_Iteration && !run.error_occurred && rate != run.counters.end()) {
        rates_[run.benchmark_name()].push_back(rate->second.value);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The median over repetitions, or 0 when the case did not run.
  double Rate(const std::string& name) const {
    const auto found = rates_.find(name);
    if (found == rates_.end()) return 0;
    std::vector<double> values = found->second;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  }

 private:
  std::map<std::string, std::vector<double>> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const std::string shortText = AsciiText(64);
  const std::string longText = AsciiText(kLongText);
  const TempFile file;

  benchmark::RegisterBenchmark("DigestStr/ours/64B", OursText, shortText);
  benchmark::RegisterBenchmark("DigestStr/openssl/64B", OpensslText, shortText);
  benchmark::RegisterBenchmark(kOursLong, OursText, longText);
  benchmark::RegisterBenchmark(kOpensslLong, OpensslText, longText);
  benchmark::RegisterBenchmark("DigestFile/ours/64MiB", OursFile, file.path())
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("DigestFile/openssl/64MiB", OpensslFile, file.path())
      ->Unit(benchmark::kMillisecond);

  RateKeeper reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const double ours = reporter.Rate(kOursLong);
  const double openssl = reporter.Rate(kOpensslLong);
  if (ours > 0 && openssl > 0) {
    std::printf("md5/openssl throughput ratio: %.2f\n", ours / openssl);
  } else {
    std::printf("md5/openssl throughput ratio: n/a (the 32767B cases did not run)\n");
  }
  return 0;
}
