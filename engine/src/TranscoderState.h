// What the transcoder's scan kernels share: the state carried from one Feed to
// the next, the output buffer and its flushing, and the pieces written at each
// separator and record end. One kernel is built per instruction-set level
// (TranscoderKernel.h, compiled once per level with that level's flags); they
// all give the same output.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "AlignedBuffer.h"
#include "LendingSink.h"
#include "engine/RecordTranscoder.h"

namespace corvane::detail {

inline constexpr std::size_t kPieceSize = 32;  // pieces are written as 32-byte copies

// A separator or record ending, padded so that it can be written with one
// fixed-size copy.
struct Piece {
  std::array<char, kPieceSize> bytes{};
  std::size_t size = 0;

  constexpr Piece& Add(std::string_view text) {
    for (char c : text) bytes[size++] = c;
    return *this;
  }
};

// What follows field k (0..2) when it ends at a ",".
constexpr Piece Separator(int field) {
  Piece p;
  p.Add("\t\t");
  if (field == 1) p.Add(kPlaceholderColumn).Add("\t\t");
  return p;
}

// What completes a record whose field k (0..3) ends at an LF, a CR or the end
// of the input: every remaining column separator (with the placeholder when it
// is still due), then CR LF. A short record still gets all five columns.
constexpr Piece RecordEnd(int field) {
  Piece p;
  for (int f = field; f < 3; ++f) {
    const Piece sep = Separator(f);
    p.Add(std::string_view(sep.bytes.data(), sep.size));
  }
  p.Add("\r\n");
  return p;
}

// Indexed as the kernels choose a piece: a "," ending field k is k, a record
// ending in field k is 4 + k, and a CR that ends no record writes nothing (8).
inline constexpr std::array<Piece, 9> kPieces{Separator(0), Separator(1), Separator(2),
                                              Piece{},      RecordEnd(0), RecordEnd(1),
                                              RecordEnd(2), RecordEnd(3), Piece{}};
inline constexpr std::size_t kNoPiece = 8;
static_assert(kPieces[4].size <= kPieceSize && kPieces[1].size <= kPieceSize);

// The state of one transcoder. The kernels keep the hot part in locals while
// they run and write it back here before they return.
struct TranscodeState {
  TranscodeState(OutputSink& s, std::size_t outBlock);
  TranscodeState(const TranscodeState&) = delete;
  TranscodeState& operator=(const TranscodeState&) = delete;

  // Room past a full block: what one record's events write before the next
  // check, with their over-copies (kernels assert their own bound).
  static constexpr std::size_t kSlack = 4096;

  // Hands whole blocks to the sink until less than a block is left.
  void FlushBlocks();
  // Appends bytes of any length, flushing whole blocks on the way.
  void AppendLong(const char* from, std::size_t size);

  OutputSink& sink;
  LendingSink* lender;          // the sink, where it lends the buffer; else nullptr
  const std::size_t blockSize;  // bytes per sink write: 1 MiB, smaller in tests
  AlignedBuffer buffer;         // the transcoder's own, where the sink lends none
  char* out;                    // blockSize + kSlack bytes
  std::size_t used = 0;         // bytes in out; below blockSize between events
  int field = 0;                // field being read: 0..3 (3 = the last one, which keeps its commas)
  bool inRecord = false;        // a record has started and is not yet written out
  bool pendingCr = false;       // the last byte fed was a CR: an LF next belongs to it
};

// Converts one chunk of input, carrying the state over to the next chunk.
using TranscodeKernel = void (*)(TranscodeState& state, const char* data, std::size_t size);

void TranscodePortable(TranscodeState& state, const char* data, std::size_t size);
void TranscodeSse2(TranscodeState& state, const char* data, std::size_t size);
void TranscodeAvx2(TranscodeState& state, const char* data, std::size_t size);
void TranscodeAvx512(TranscodeState& state, const char* data, std::size_t size);

}  // namespace corvane::detail
