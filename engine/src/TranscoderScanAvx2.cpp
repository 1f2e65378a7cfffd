// The AVX2 scan: two 32-byte compares per 64 bytes, POPCNT and BMI for the bit
// walks, 64-byte span copies. Built with -mavx2 -mbmi -mbmi2 -mpopcnt
// (cmake/CorvaneScanKernels.cmake) and run only where the processor reports
// all of them.
#include <immintrin.h>

#include "TranscoderKernel.h"

namespace corvane::detail {
namespace {

struct Avx2Level {
  static constexpr std::size_t kCopy = 64;
  static std::uint64_t Equal(__m256i lo, __m256i hi, char c) {
    const __m256i k = _mm256_set1_epi8(c);
    const auto l = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(lo, k)));
    const auto h = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(hi, k)));
    return (std::uint64_t{h} << 32) | l;
  }
  static BlockMasks Masks(const char* p) {
    const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    return {Equal(lo, hi, ','), Equal(lo, hi, '\r'), Equal(lo, hi, '\n')};
  }
  static int Popcount(std::uint64_t x) { return __builtin_popcountll(x); }
  static int Lowest(std::uint64_t x) { return static_cast<int>(_tzcnt_u64(x)); }  // 64 for 0
  static int List(std::uint64_t live, std::uint16_t offset, std::uint16_t* list) {
    return ListBits<Popcount, Lowest>(live, offset, list);
  }
  static void Copy(char* to, const char* from) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + 32));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), a);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 32), b);
  }
};

}  // namespace

void TranscodeAvx2(TranscodeState& state, const char* data, std::size_t size) {
  Transcode<Avx2Level>(state, data, size);
}

}  // namespace corvane::detail
