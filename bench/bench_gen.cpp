// Writes deterministic CSV test inputs for the benchmarks.
//
//   bench_gen KIND BYTES OUTPUT
//
// KIND: short-crlf  records of 4-7 fields of 3-20 characters, CR LF ends
//       short-lf    the same records with LF ends
//       long-crlf   records of 4 fields of about 100 KiB each, CR LF ends
// The file holds whole records and is at least BYTES long (a suffix K, M or G
// multiplies by 1024, 1024^2, 1024^3). The same arguments give the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// xorshift64*: small, fast and the same everywhere.
struct Rng {
  std::uint64_t s = 0x9E3779B97F4A7C15ULL;
  std::uint64_t Next() {
    s ^= s >> 12;
    s ^= s << 25;
    s ^= s >> 27;
    return s * 0x2545F4914F6CDD1DULL;
  }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
};

constexpr std::string_view kAlphabet =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ._-/";

bool ParseSize(const char* text, std::uint64_t& out) {
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text, &end, 10);
  if (end == text) return false;
  std::uint64_t mul = 1;
  if (*end == 'K' || *end == 'k') mul = 1ULL << 10;
  if (*end == 'M' || *end == 'm') mul = 1ULL << 20;
  if (*end == 'G' || *end == 'g') mul = 1ULL << 30;
  if (mul != 1) ++end;
  if (*end != '\0') return false;
  out = v * mul;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t target = 0;
  if (argc != 4 || !ParseSize(argv[2], target)) {
    std::fprintf(stderr, "usage: bench_gen short-crlf|short-lf|long-crlf BYTES OUTPUT\n");
    return 2;
  }
  const std::string_view kind = argv[1];
  const bool isLong = kind == "long-crlf";
  if (!isLong && kind != "short-crlf" && kind != "short-lf") {
    std::fprintf(stderr, "bench_gen: unknown kind '%s'\n", argv[1]);
    return 2;
  }
  const std::string_view eol = kind == "short-lf" ? "\n" : "\r\n";
  std::FILE* out = std::fopen(argv[3], "wb");
  if (out == nullptr) {
    std::perror(argv[3]);
    return 1;
  }

  // A pool of random text to take fields from: cheap per byte, still varied.
  Rng rng;
  std::string pool(1 << 20, ' ');
  for (char& c : pool) c = kAlphabet[rng.Below(kAlphabet.size())];

  std::string record;
  std::uint64_t written = 0;
  while (written < target) {
    record.clear();
    const std::size_t fields = isLong ? 4 : 4 + rng.Below(4);
    for (std::size_t f = 0; f < fields; ++f) {
      if (f != 0) record += ',';
      const std::size_t len = isLong ? 100 * 1024 + rng.Below(1024) : 3 + rng.Below(18);
      record.append(pool, rng.Below(pool.size() - len), len);
    }
    record += eol;
    if (std::fwrite(record.data(), 1, record.size(), out) != record.size()) {
      std::perror(argv[3]);
      return 1;
    }
    written += record.size();
  }
  if (std::fclose(out) != 0) {
    std::perror(argv[3]);
    return 1;
  }
  return 0;
}
