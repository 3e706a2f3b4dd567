// Photo hashing against plain SHA-1 of the same files read in 8192-byte pieces: the JPEG walk,
// the buffered stream and the error plumbing should cost next to nothing over the raw digest.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "crypto/sha1_hash.hpp"
#include "ratio_reporter.hpp"
#include "sample/jpeg_builder.hpp"

namespace {

constexpr int kFiles = 64;
constexpr std::size_t kImageBytes = 4 << 20;  // 64 x 4 MiB = 256 MiB

struct PhotoSet {
  std::string folder;
  std::vector<std::string> paths;
  std::uint64_t totalBytes = 0;

  PhotoSet() {
    const char* base = std::getenv("TMPDIR");
    folder = std::string(base && *base ? base : "/tmp") + "/twinlens-hash-bench-XXXXXX";
    if (!::mkdtemp(folder.data())) std::abort();
    for (int i = 0; i < kFiles; ++i) {
      twinlens::Data photo =
          twinlens::sample::samplePhoto(i, kImageBytes, "Bench Camera " + std::to_string(i));
      std::string path = folder + "/IMG_" + std::to_string(1000 + i) + ".JPG";
      std::ofstream(path, std::ios::binary)
          .write(reinterpret_cast<const char*>(photo.data()), static_cast<long>(photo.size()));
      paths.push_back(path);
      totalBytes += photo.size();
    }
  }
  ~PhotoSet() { std::filesystem::remove_all(folder); }
};

PhotoSet& photos() {
  static PhotoSet set;
  return set;
}

std::string rawSha1(const std::string& path) {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_DigestInit_ex(ctx, EVP_sha1(), nullptr);
  int fd = ::open(path.c_str(), O_RDONLY);
  std::uint8_t piece[8192];
  for (ssize_t n; (n = ::read(fd, piece, sizeof piece)) > 0;) EVP_DigestUpdate(ctx, piece, n);
  ::close(fd);
  std::uint8_t digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(ctx, digest, &length);
  EVP_MD_CTX_free(ctx);
  return std::string(reinterpret_cast<char*>(digest), length);
}

void BM_RawSHA1(benchmark::State& state) {
  PhotoSet& set = photos();
  for (auto _ : state)
    for (const std::string& path : set.paths) benchmark::DoNotOptimize(rawSha1(path));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * set.totalBytes));
}

void BM_HashPhoto(benchmark::State& state) {
  PhotoSet& set = photos();
  for (auto _ : state)
    for (const std::string& path : set.paths)
      benchmark::DoNotOptimize(twinlens::SHA1Hash::hashPhoto(path));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * set.totalBytes));
}

void BM_HashFileWhole(benchmark::State& state) {
  PhotoSet& set = photos();
  for (auto _ : state)
    for (const std::string& path : set.paths)
      benchmark::DoNotOptimize(twinlens::SHA1Hash::hashFile(path));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * set.totalBytes));
}

BENCHMARK(BM_RawSHA1)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_HashPhoto)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_HashFileWhole)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  photos();  // write the files (and so warm the page cache) before any timing starts
  return twinlens::bench::runWithRatios(
      argc, argv,
      {{"BM_HashPhoto", "BM_RawSHA1", "hashPhoto / raw SHA-1"},
       {"BM_HashFileWhole", "BM_RawSHA1", "hashFile / raw SHA-1"}});
}
