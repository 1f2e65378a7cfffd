// How the transcoder hands whole blocks to a sink that writes them on another
// thread, without copying them. Not for use outside the engine and its tests.
#pragma once

#include <cstddef>

#include "engine/RecordTranscoder.h"

namespace corvane::detail {

// A sink that lends the transcoder the buffer to collect its output in
// (page-aligned, `size` bytes, owned by the sink and outliving the
// transcoder); TakeBlock then receives each whole block in that buffer and
// lends another one back. A new transcoder on the same sink is lent a buffer
// again. The last, partial block of an input still comes through Write. A
// transcoder on any other sink collects its output in a buffer of its own
// and hands every block to Write.
class LendingSink : public OutputSink {
 public:
  // nullptr where the sink has no buffer of that size to lend: the
  // transcoder then uses its own and Write.
  virtual char* LendBuffer(std::size_t size) = 0;
  virtual char* TakeBlock(char* block, std::size_t size) = 0;
};

}  // namespace corvane::detail
