// The AVX-512 scan: one 64-byte compare per byte kind straight into a mask
// register (AVX-512 BW), and 64-byte span copies. Built with -mavx512f
// -mavx512bw and the AVX2 level's flags (cmake/CorvaneScanKernels.cmake), and
// run only where the processor reports all of them. (Listing the events by
// VBMI2's byte compress instead of bit walks measured the same.)
#include <immintrin.h>

#include "TranscoderKernel.h"

namespace corvane::detail {
namespace {

struct Avx512Level {
  static constexpr std::size_t kCopy = 64;
  static BlockMasks Masks(const char* p) {
    const __m512i v = _mm512_loadu_si512(p);
    return {_mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(',')),
            _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\r')),
            _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\n'))};
  }
  static int Popcount(std::uint64_t x) { return __builtin_popcountll(x); }
  static int Lowest(std::uint64_t x) { return static_cast<int>(_tzcnt_u64(x)); }  // 64 for 0
  static int List(std::uint64_t live, std::uint16_t offset, std::uint16_t* list) {
    return ListBits<Popcount, Lowest>(live, offset, list);
  }
  static void Copy(char* to, const char* from) {
    _mm512_storeu_si512(to, _mm512_loadu_si512(from));
  }
};

}  // namespace

void TranscodeAvx512(TranscodeState& state, const char* data, std::size_t size) {
  Transcode<Avx512Level>(state, data, size);
}

}  // namespace corvane::detail
