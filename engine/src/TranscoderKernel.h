// The transcoder's kernel, compiled once per instruction-set level: each
// TranscoderScan*.cpp file includes this header with its own compiler flags
// and instantiates Transcode with its level's primitives. Everything here has
// internal linkage, and the kernel calls no inline library function, so that
// no code built for a wider level can stand in for another level's at link
// time (the linker keeps one copy of an inline function, whichever file's).
//
// A chunk is converted in batches of kBatch bytes, each in two passes:
//
// 1. The scan, 64 bytes at a time: the level's mask builder marks the ",", CR
//    and LF bytes. The commas are kept as a bitmap of the batch; the CR and LF
//    bytes that end a line or a record (not the LF of a CR LF) are listed.
// 2. The writing, one record at a time: its first three commas (the others
//    are data) come from the bitmap, usually from one 64-bit window. The bytes
//    between two of these events are copied as one span (fixed-size
//    over-copies while the span is short) and each event adds its piece: a
//    record of at least four fields in one straight run, others comma by
//    comma.
//
// Listing first keeps the scan's loop free of branches on the record shapes;
// the writing pass's branches follow the shape of the records, which changes
// little within a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "TranscoderState.h"

namespace corvane::detail {
namespace {

// The ",", CR and LF bytes of one 64-byte block: bit i stands for byte i.
struct BlockMasks {
  std::uint64_t comma;
  std::uint64_t cr;
  std::uint64_t lf;
};

constexpr std::size_t kScanBlock = 64;
constexpr std::size_t kBatch = 4096;  // bytes scanned before they are written out
static_assert(kBatch % kScanBlock == 0 && kBatch <= 65536, "positions are 16-bit");

// Masks of one 64-byte block, by one plain loop over the bytes.
inline BlockMasks PortableMasks(const char* p) {
  std::uint64_t comma = 0;
  std::uint64_t cr = 0;
  std::uint64_t lf = 0;
  for (std::size_t i = 0; i < kScanBlock; ++i) {
    const char c = p[i];
    comma |= std::uint64_t{c == ','} << i;
    cr |= std::uint64_t{c == '\r'} << i;
    lf |= std::uint64_t{c == '\n'} << i;
  }
  return {comma, cr, lf};
}

// Bit counts without the POPCNT instruction, for the levels that may lack it.
inline int SoftPopcount(std::uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555ULL);
  x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<int>((x * 0x0101010101010101ULL) >> 56);
}

// The lowest set bit's index; 64 for no bit (as TZCNT gives it).
inline int LowestBit(std::uint64_t x) { return x == 0 ? 64 : __builtin_ctzll(x); }

// Lists the set bits of a block's `live` as 16-bit positions, adding `offset`:
// four are written whatever their number, so the list needs room for 64
// entries past its end. Returns how many there are.
template <int (*Popcount)(std::uint64_t), int (*Lowest)(std::uint64_t)>
inline int ListBits(std::uint64_t live, std::uint16_t offset, std::uint16_t* list) {
  const int total = Popcount(live);
  for (int k = 0; k < 4; ++k) {
    list[k] = static_cast<std::uint16_t>(offset + Lowest(live));
    live &= live - 1;
  }
  for (int k = 4; k < total; ++k) {
    list[k] = static_cast<std::uint16_t>(offset + Lowest(live));
    live &= live - 1;
  }
  return total;
}

// A piece as the kernel copies it (a plain array: no library call at run time).
struct KernelPiece {
  char bytes[kPieceSize];
  std::size_t size;
};
constexpr KernelPiece ToKernelPiece(const Piece& p) {
  KernelPiece k{};
  for (std::size_t i = 0; i < kPieceSize; ++i) k.bytes[i] = p.bytes[i];
  k.size = p.size;
  return k;
}
constexpr KernelPiece kKernelPieces[9] = {
    ToKernelPiece(kPieces[0]), ToKernelPiece(kPieces[1]), ToKernelPiece(kPieces[2]),
    ToKernelPiece(kPieces[3]), ToKernelPiece(kPieces[4]), ToKernelPiece(kPieces[5]),
    ToKernelPiece(kPieces[6]), ToKernelPiece(kPieces[7]), ToKernelPiece(kPieces[8])};
constexpr std::size_t kSep1Size = kKernelPieces[1].size;  // "\t\t111 x 222\t\t"
static_assert(kKernelPieces[0].size == 2 && kKernelPieces[2].size == 2 &&
              kKernelPieces[7].size == 2 && kSep1Size <= 16);

// Level provides:
//   static BlockMasks Masks(const char* p);     the masks of p[0..63]
//   static int Lowest(std::uint64_t x);         LowestBit, maybe by TZCNT
//   static int List(std::uint64_t, std::uint16_t, std::uint16_t*);   as ListBits
//   static constexpr std::size_t kCopy;         bytes of one span copy
//   static void Copy(char* to, const char* from);   kCopy bytes
template <class Level>
class Kernel {
 public:
  static constexpr std::size_t kCopy = Level::kCopy;
  // Longer spans go to TranscodeState::AppendLong.
  static constexpr std::size_t kMediumSpan = 512;
  // One record writes at most four spans and their pieces past the check
  // before it, each with its over-copy.
  static_assert(TranscodeState::kSlack >= 4 * (kMediumSpan + kCopy + kPieceSize));

  Kernel(TranscodeState& st, const char* data, std::size_t size)
      : st_(st), data_(data), end_(data + size) {}

  void Run() {
    if (data_ == end_) return;
    Cursor c;
    c.span = data_;
    if (st_.pendingCr && *data_ == '\n') ++c.span;  // the second half of a CR LF
    c.field = st_.field;
    c.started = st_.inRecord;
    Resync(c, c.span);
    std::uint64_t crCarry = st_.pendingCr ? 1 : 0;  // the byte before the block is a CR
    st_.pendingCr = false;

    std::uint16_t ends[kBatch + 64];  // +64: see ListBits
    // One bit per byte of the batch for its commas, and a zero word past them.
    std::uint64_t commas[kBatch / kScanBlock + 1];
    const auto size = static_cast<std::size_t>(end_ - data_);
    for (std::size_t at = 0; at < size; at += kBatch) {
      const char* const batch = data_ + at;
      const char* const batchEnd = size - at > kBatch ? batch + kBatch : end_;
      const std::size_t count = Scan(batch, batchEnd, ends, commas, crCarry);
      // Unguarded, every over-read stays inside the chunk: spans end before
      // batchEnd, and the byte after a CR is in the chunk.
      if (static_cast<std::size_t>(end_ - batchEnd) >= kCopy) {
        c = Write<false>(c, batch, batchEnd, ends, count, commas);
      } else {
        c = Write<true>(c, batch, batchEnd, ends, count, commas);
      }
    }

    // The chunk's last byte, when it ends a line or record (and is not the
    // LF of a CR LF): no byte follows it here.
    const char* const lastByte = end_ - 1;
    if (c.span <= lastByte && (*lastByte == '\r' || *lastByte == '\n')) {
      End<true>(c, lastByte, false);
      st_.pendingCr = *lastByte == '\r';
      FlushIfFull(c);
    }
    if (c.span < end_) {
      CopySpan<true>(c, c.span, static_cast<std::size_t>(end_ - c.span));
      c.span = end_;
      c.started = true;
      FlushIfFull(c);
    }
    st_.used = static_cast<std::size_t>(Dest(c.span, c.shift) - st_.out);
    st_.field = c.field;
    st_.inRecord = c.started;
  }

 private:
  // The writing pass's state, kept in registers while it runs.
  struct Cursor {
    const char* span;      // first input byte not yet copied or consumed
    std::uintptr_t shift;  // where input byte x is written: x + shift
    char* full;            // where the output buffer holds a whole block
    int field;             // field being written (0..3)
    bool started;          // a record has started and is not yet written out
  };

  // An address in the output buffer, computed from one in the input: one
  // addition per piece and span. (Keeping the output offset apart instead,
  // which needs no cast back to a pointer, measured 5-10 % slower.)
  static char* Dest(const char* x, std::uintptr_t shift) {
    return reinterpret_cast<char*>(  // NOLINT(performance-no-int-to-ptr): see above
        reinterpret_cast<std::uintptr_t>(x) + shift);
  }
  // After the output buffer changed: input byte `next` goes to out + used.
  void Resync(Cursor& c, const char* next) const {
    c.shift = reinterpret_cast<std::uintptr_t>(st_.out + st_.used) -
              reinterpret_cast<std::uintptr_t>(next);
    c.full = st_.out + st_.blockSize;
  }

  // The scan of one batch: its comma bitmap, and the list of the CR and LF
  // bytes that end a line or record. Returns their number.
  std::size_t Scan(const char* batch, const char* batchEnd, std::uint16_t* ends,
                   std::uint64_t* commas, std::uint64_t& crCarry) const {
    std::size_t count = 0;
    std::size_t k = 0;
    const auto length = static_cast<std::size_t>(batchEnd - batch);
    for (std::size_t at = 0; at < length; at += kScanBlock, ++k) {
      const char* const block = batch + at;
      const auto avail = static_cast<std::size_t>(end_ - block);  // 1 at least
      // The next batch is fetched while this one is written out.
      __builtin_prefetch(block + (avail > kBatch ? kBatch : 0));
      BlockMasks m;
      if (avail > kScanBlock) {
        m = Level::Masks(block);
      } else {
        // The chunk's last block. Its zero padding matches nothing, and its
        // last byte is left to the end of Run.
        char last[kScanBlock] = {};
        std::memcpy(last, block, avail);
        m = Level::Masks(last);
        const std::uint64_t lastByte = std::uint64_t{1} << ((avail - 1) % kScanBlock);
        m.cr &= ~lastByte;
        m.lf &= ~lastByte;
      }
      commas[k] = m.comma;
      const std::uint64_t lfAfterCr = m.lf & ((m.cr << 1) | crCarry);
      crCarry = m.cr >> 63;
      const std::uint64_t live = m.cr | (m.lf & ~lfAfterCr);
      if (live != 0) {
        count += static_cast<std::size_t>(
            Level::List(live, static_cast<std::uint16_t>(at), ends + count));
      }
    }
    commas[k] = 0;
    return count;
  }

  // The batch's commas from `from` on (from >= batch), bit 0 for `from`: 57
  // bytes at least, fewer where the batch ends.
  static std::uint64_t Window(const std::uint64_t* commas, const char* batch, const char* from) {
    const auto at = static_cast<std::size_t>(from - batch);
    std::uint64_t bits;
    std::memcpy(&bits, reinterpret_cast<const char*>(commas) + at / 8, sizeof bits);
    return bits >> (at % 8);
  }
  // The first comma in [from, limit) (batch <= from, limit <= batchEnd), or limit.
  static const char* NextComma(const std::uint64_t* commas, const char* batch, const char* from,
                               const char* limit) {
    auto at = static_cast<std::size_t>(from - batch);
    const auto end = static_cast<std::size_t>(limit - batch);
    while (at < end) {
      const std::uint64_t bits = Window(commas, batch, batch + at);
      if (bits != 0) {
        at += static_cast<std::size_t>(Level::Lowest(bits));
        return at < end ? batch + at : limit;
      }
      at += 64 - at % 8;  // past the window
    }
    return limit;
  }

  // Copies [from, from + len) to the output: fixed-size over-copies while the
  // span is not long and the input has kCopy bytes past it.
  template <bool kGuarded>
  __attribute__((always_inline)) void CopySpan(Cursor& c, const char* from, std::size_t len) {
    char* const to = Dest(from, c.shift);
    const bool canOverRead = !kGuarded || static_cast<std::size_t>(end_ - from) >= len + kCopy;
    if (len <= kCopy && canOverRead) {
      Level::Copy(to, from);
    } else if (len <= kMediumSpan && canOverRead) {
      for (std::size_t k = 0; k < len; k += kCopy) Level::Copy(to + k, from + k);
    } else {
      st_.used = static_cast<std::size_t>(to - st_.out);
      st_.AppendLong(from, len);
      Resync(c, from + len);
    }
  }

  // Hands whole blocks to the sink once the output reaches one.
  __attribute__((always_inline)) void FlushIfFull(Cursor& c) {
    char* const at = Dest(c.span, c.shift);
    if (at >= c.full) {
      st_.used = static_cast<std::size_t>(at - st_.out);
      st_.FlushBlocks();
      Resync(c, c.span);
    }
  }

  // A comma that ends field c.field (0..2).
  template <bool kGuarded>
  __attribute__((always_inline)) void Comma(Cursor& c, const char* at) {
    CopySpan<kGuarded>(c, c.span, static_cast<std::size_t>(at - c.span));
    const KernelPiece& piece = kKernelPieces[c.field];
    std::memcpy(Dest(at, c.shift), piece.bytes, kPieceSize);
    c.shift += piece.size - 1;
    ++c.field;
    c.started = true;
    c.span = at + 1;
  }

  // A CR or LF that ends a line or record; crlf: a CR followed by an LF.
  template <bool kGuarded>
  __attribute__((always_inline)) void End(Cursor& c, const char* at, bool crlf) {
    const auto len = static_cast<std::size_t>(at - c.span);
    CopySpan<kGuarded>(c, c.span, len);
    // A CR ends a record only if one has started; an LF always does.
    const bool writes = *at != '\r' || c.started || c.field != 0 || len != 0;
    const std::size_t piece = writes ? 4 + static_cast<std::size_t>(c.field) : kNoPiece;
    std::memcpy(Dest(at, c.shift), kKernelPieces[piece].bytes, kPieceSize);
    c.shift += kKernelPieces[piece].size - 1 - (crlf ? 1 : 0);
    c.field = 0;
    c.started = false;
    c.span = at + 1 + (crlf ? 1 : 0);
  }

  // The writing pass over one batch: each listed record or line end with the
  // record's commas before it, then the commas after the last one.
  template <bool kGuarded>
  Cursor Write(Cursor c, const char* batch, const char* batchEnd, const std::uint16_t* ends,
               std::size_t count, const std::uint64_t* commas) {
    for (std::size_t i = 0; i < count; ++i) {
      const char* const e = batch + ends[i];
      const bool crlf = (e[0] == '\r') & (e[1] == '\n');
      const char* from = c.span > batch ? c.span : batch;  // earlier commas are done
      if (c.field == 0) {
        const std::uint64_t w0 = Window(commas, batch, from);
        const std::uint64_t w1 = w0 & (w0 - 1);
        const std::uint64_t w2 = w1 & (w1 - 1);
        const auto third = static_cast<std::size_t>(Level::Lowest(w2));
        if ((w2 != 0) & (third < static_cast<std::size_t>(e - from))) {
          // A record of four fields or more, whose first three commas are in
          // one window. Each piece replaces one input byte (the CR LF two).
          const char* const a0 = from + Level::Lowest(w0);
          const char* const a1 = from + Level::Lowest(w1);
          const char* const a2 = from + third;
          CopySpan<kGuarded>(c, c.span, static_cast<std::size_t>(a0 - c.span));
          std::memcpy(Dest(a0, c.shift), kKernelPieces[0].bytes, 16);
          c.shift += 2 - 1;
          CopySpan<kGuarded>(c, a0 + 1, static_cast<std::size_t>(a1 - a0 - 1));
          std::memcpy(Dest(a1, c.shift), kKernelPieces[1].bytes, 16);
          c.shift += kSep1Size - 1;
          CopySpan<kGuarded>(c, a1 + 1, static_cast<std::size_t>(a2 - a1 - 1));
          std::memcpy(Dest(a2, c.shift), kKernelPieces[2].bytes, 16);
          c.shift += 2 - 1;
          CopySpan<kGuarded>(c, a2 + 1, static_cast<std::size_t>(e - a2 - 1));
          std::memcpy(Dest(e, c.shift), kKernelPieces[7].bytes, 16);
          c.shift += 2 - 1 - static_cast<std::uintptr_t>(crlf);
          c.span = e + 1 + static_cast<int>(crlf);
          c.started = false;
          FlushIfFull(c);
          continue;
        }
      }
      while (c.field < 3) {
        const char* const at = NextComma(commas, batch, from, e);
        if (at == e) break;
        Comma<kGuarded>(c, at);
        from = at + 1;
      }
      End<kGuarded>(c, e, crlf);
      FlushIfFull(c);
    }
    // The record under way at the batch's end.
    const char* from = c.span > batch ? c.span : batch;
    while (c.field < 3) {
      const char* const at = NextComma(commas, batch, from, batchEnd);
      if (at == batchEnd) break;
      Comma<kGuarded>(c, at);
      from = at + 1;
      FlushIfFull(c);
    }
    return c;
  }

  TranscodeState& st_;
  const char* const data_;
  const char* const end_;
};

template <class Level>
void Transcode(TranscodeState& state, const char* data, std::size_t size) {
  Kernel<Level>(state, data, size).Run();
}

}  // namespace
}  // namespace corvane::detail
