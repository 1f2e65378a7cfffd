// The floor: the portable byte scan and the SSE2 scan, built with the
// compiler's baseline flags (every x86-64 processor has SSE2).
#include "TranscoderKernel.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvane::detail {
namespace {

struct PortableLevel {
  static constexpr std::size_t kCopy = 32;
  static BlockMasks Masks(const char* p) { return PortableMasks(p); }
  static int Popcount(std::uint64_t x) { return SoftPopcount(x); }
  static int Lowest(std::uint64_t x) { return LowestBit(x); }
  static int List(std::uint64_t live, std::uint16_t offset, std::uint16_t* list) {
    return ListBits<Popcount, Lowest>(live, offset, list);
  }
  static void Copy(char* to, const char* from) { std::memcpy(to, from, kCopy); }
};

#if defined(__SSE2__)
struct Sse2Level {
  static constexpr std::size_t kCopy = 64;
  static BlockMasks Masks(const char* p) {
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    BlockMasks m{0, 0, 0};
    for (std::size_t i = 0; i < 4; ++i) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      const std::size_t shift = 16 * i;
      m.comma |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, comma)))}
                 << shift;
      m.cr |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr)))}
              << shift;
      m.lf |= std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)))}
              << shift;
    }
    return m;
  }
  static int Popcount(std::uint64_t x) { return SoftPopcount(x); }
  static int Lowest(std::uint64_t x) { return LowestBit(x); }
  static int List(std::uint64_t live, std::uint16_t offset, std::uint16_t* list) {
    return ListBits<Popcount, Lowest>(live, offset, list);
  }
  static void Copy(char* to, const char* from) {
    for (std::size_t i = 0; i < 4; ++i) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16 * i),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16 * i)));
    }
  }
};
#else
using Sse2Level = PortableLevel;  // not an x86 build: never chosen (ScanLevelSupported)
#endif

}  // namespace

void TranscodePortable(TranscodeState& state, const char* data, std::size_t size) {
  Transcode<PortableLevel>(state, data, size);
}

void TranscodeSse2(TranscodeState& state, const char* data, std::size_t size) {
  Transcode<Sse2Level>(state, data, size);
}

}  // namespace corvane::detail
