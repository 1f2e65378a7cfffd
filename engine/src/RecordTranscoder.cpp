// The streaming record transcoder.
//
// The input is scanned 64 bytes at a time: for each block two bit masks mark
// the "," bytes and the CR/LF bytes, and only the set bits are visited. The
// bytes between two such events are copied as one span, so ordinary data is
// never looked at one byte at a time. Output collects in one page-aligned
// buffer that is handed to the sink in whole blocks of kOutBlock bytes.
//
// State carried from one Feed to the next: the field being read, whether the
// current record has started, and whether the last byte was a CR (so that an
// LF opening the next chunk belongs to that CR).
#include "engine/RecordTranscoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "FileSystem.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define CORVANE_HAVE_SSE2 1
#endif

namespace corvane {
namespace {

constexpr std::size_t kOutBlock = std::size_t{1} << 20;  // bytes per sink write
constexpr std::size_t kOutSlack = 4096;  // room past a full block for the last event's bytes
constexpr std::size_t kPad = 32;         // short spans and separators are written as 32-byte copies
constexpr std::size_t kScanBlock = 64;

// A separator or record ending, padded so that it can be written with one
// fixed-size copy.
struct Piece {
  std::array<char, kPad> bytes{};
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

constexpr std::array<Piece, 3> kSeparator{Separator(0), Separator(1), Separator(2)};
constexpr std::array<Piece, 4> kRecordEnd{RecordEnd(0), RecordEnd(1), RecordEnd(2), RecordEnd(3)};
static_assert(kRecordEnd[0].size <= kPad && kSeparator[1].size <= kPad);
static_assert(kOutSlack >= 3 * kPad, "one event writes at most a short span and a piece");
// One flush after each event brings the buffer back below a whole block only
// when a block is larger than what one event writes.
constexpr std::size_t kMinOutBlock = 2 * kPad;

struct Masks {
  std::uint64_t comma;
  std::uint64_t eol;  // CR or LF
};

Masks ScanPortable(const char* p) {
  std::uint64_t comma = 0;
  std::uint64_t eol = 0;
  for (std::size_t i = 0; i < kScanBlock; ++i) {
    const char c = p[i];
    comma |= std::uint64_t{c == ','} << i;
    eol |= std::uint64_t{c == '\r' || c == '\n'} << i;
  }
  return {comma, eol};
}

#ifdef CORVANE_HAVE_SSE2
Masks ScanVector(const char* p) {
  const __m128i comma = _mm_set1_epi8(',');
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  std::uint64_t commaBits = 0;
  std::uint64_t eolBits = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const auto c = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, comma)));
    const auto e = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
    commaBits |= std::uint64_t{c} << (16 * i);
    eolBits |= std::uint64_t{e} << (16 * i);
  }
  return {commaBits, eolBits};
}
#else
Masks ScanVector(const char* p) { return ScanPortable(p); }
#endif

// Bits n..63 set (none when n >= 64).
inline std::uint64_t BitsFrom(std::size_t n) { return n >= 64 ? 0 : ~std::uint64_t{0} << n; }

}  // namespace

struct StreamTranscoder::State {
  State(OutputSink& s, bool portable, std::size_t outBlock)
      : sink(s), portableScan(portable), blockSize(outBlock) {
    out = sink.LendBuffer(outBlock + kOutSlack);
    if (out == nullptr) {
      buffer = detail::AllocateAligned(outBlock + kOutSlack);
      out = buffer.get();
    }
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  template <Masks (*Scan)(const char*)>
  void Run(const char* data, std::size_t size);
  void AppendLong(const char* from, std::size_t size);
  void FlushBlock();
  void Finish();

  OutputSink& sink;
  const bool portableScan;
  const std::size_t blockSize;   // bytes per sink write: kOutBlock, smaller in tests
  detail::AlignedBuffer buffer;  // the transcoder's own, where the sink lends none
  char* out;                     // blockSize + kOutSlack bytes
  std::size_t used = 0;          // bytes in out; below blockSize between events
  int field = 0;           // field being read: 0..3 (3 = the last one, which keeps its commas)
  bool inRecord = false;   // a record has started and is not yet written out
  bool pendingCr = false;  // the last byte fed was a CR: an LF next belongs to it
};

// Hands one whole block to the sink and keeps what lies beyond it.
void StreamTranscoder::State::FlushBlock() {
  char* const next = sink.TakeBlock(out, blockSize);
  used -= blockSize;
  if (next == out) {
    std::memmove(out, out + blockSize, used);
  } else {
    // The sink keeps the whole block until it is written; only its first
    // blockSize bytes are written, so the rest may still be read here.
    std::memcpy(next, out + blockSize, used);
    out = next;
  }
}

void StreamTranscoder::State::AppendLong(const char* from, std::size_t size) {
  while (size != 0) {
    if (used >= blockSize) FlushBlock();
    const std::size_t n = std::min(size, blockSize - used);
    std::memcpy(out + used, from, n);
    used += n;
    from += n;
    size -= n;
  }
  if (used >= blockSize) FlushBlock();
}

template <Masks (*Scan)(const char*)>
void StreamTranscoder::State::Run(const char* data, std::size_t size) {
  const char* const end = data + size;
  const char* span = data;  // first input byte not yet copied or consumed
  if (pendingCr && size != 0) {
    pendingCr = false;
    if (*data == '\n') ++span;  // the second half of a CR LF split across chunks
  }

  // Hot state lives in locals; members are synced around the rare calls out.
  char* o = out;
  const std::size_t full = blockSize;
  std::size_t n = used;
  int f = field;
  bool started = inRecord;

  const auto copySpan = [&](const char* from, const char* to) {
    const auto len = static_cast<std::size_t>(to - from);
    if (len <= kPad && static_cast<std::size_t>(end - from) >= kPad) {
      std::memcpy(o + n, from, kPad);  // over-copy: the slack absorbs the excess
      n += len;
    } else {
      used = n;
      AppendLong(from, len);
      n = used;
      o = out;
    }
  };
  const auto put = [&](const Piece& piece) {
    std::memcpy(o + n, piece.bytes.data(), kPad);
    n += piece.size;
  };

  for (const char* block = data; block < end; block += kScanBlock) {
    const auto avail = static_cast<std::size_t>(end - block);
    Masks m;
    if (avail >= kScanBlock) {
      m = Scan(block);
    } else {
      // The zero padding of the last short block matches no separator.
      alignas(16) char last[kScanBlock] = {};
      std::memcpy(last, block, avail);
      m = Scan(last);
    }
    // Bits before span were handled already (an LF eaten with its CR).
    const std::uint64_t live =
        span > block ? BitsFrom(static_cast<std::size_t>(span - block)) : ~std::uint64_t{0};
    std::uint64_t events = (m.eol | (f < 3 ? m.comma : 0)) & live;
    while (events != 0) {
      const int bit = std::countr_zero(events);
      const char* at = block + bit;
      if ((m.comma >> bit) & 1) {
        copySpan(span, at);
        put(kSeparator[f]);
        started = true;
        span = at + 1;
        events &= events - 1;
        if (++f == 3) events &= m.eol;  // the last field keeps its commas
      } else {
        if (*at == '\n') {
          // Ends the record; at a record start it is a record of empty fields.
          copySpan(span, at);
          put(kRecordEnd[f]);
          span = at + 1;
        } else {  // CR: ends the line, and the record if one has started
          if (span != at) {
            copySpan(span, at);
            started = true;
          }
          if (started) put(kRecordEnd[f]);
          span = at + 1;
          if (span == end) {
            pendingCr = true;
          } else if (*span == '\n') {
            ++span;  // CR LF is one terminator
          }
        }
        f = 0;
        started = false;
        events = (m.eol | m.comma) & BitsFrom(static_cast<std::size_t>(span - block));
      }
      if (n >= full) {
        used = n;
        FlushBlock();
        n = used;
        o = out;
      }
    }
  }
  if (span < end) {
    copySpan(span, end);
    started = true;
    if (n >= full) {
      used = n;
      FlushBlock();
      n = used;
      o = out;
    }
  }
  used = n;
  field = f;
  inRecord = started;
}

void StreamTranscoder::State::Finish() {
  pendingCr = false;
  if (inRecord) {
    std::memcpy(out + used, kRecordEnd[field].bytes.data(), kPad);
    used += kRecordEnd[field].size;
  }
  field = 0;
  inRecord = false;
  while (used >= blockSize) FlushBlock();
  if (used != 0) {
    const std::size_t n = used;
    used = 0;
    sink.Write(out, n);
  }
}

StreamTranscoder::StreamTranscoder(OutputSink& sink) : StreamTranscoder(sink, false, kOutBlock) {}

StreamTranscoder::StreamTranscoder(OutputSink& sink, bool portableScan, std::size_t outputBlock)
    : state_(std::make_unique<State>(sink, portableScan, outputBlock)) {
  if (outputBlock < kMinOutBlock) throw std::invalid_argument("output block too small");
}

StreamTranscoder::~StreamTranscoder() = default;

void StreamTranscoder::Feed(const char* data, std::size_t size) {
  if (size == 0) return;
  if (state_->portableScan) {
    state_->Run<ScanPortable>(data, size);
  } else {
    state_->Run<ScanVector>(data, size);
  }
}

void StreamTranscoder::Finish() { state_->Finish(); }

namespace {

class StringSink : public OutputSink {
 public:
  void Write(const char* data, std::size_t size) override { text.append(data, size); }
  std::string text;
};

}  // namespace

std::vector<std::string> TranscodeLine(std::string_view line) {
  // The same core as for whole files; a line holds no CR, so every CR LF in
  // the output ends exactly one record.
  StringSink sink;
  StreamTranscoder transcoder(sink);
  transcoder.Feed(line.data(), line.size());
  transcoder.Finish();

  std::vector<std::string> records;
  std::string_view rest = sink.text;
  for (std::size_t eol = rest.find("\r\n"); eol != std::string_view::npos;
       eol = rest.find("\r\n")) {
    records.emplace_back(rest.substr(0, eol));
    rest.remove_prefix(eol + 2);
  }
  return records;
}

}  // namespace corvane
