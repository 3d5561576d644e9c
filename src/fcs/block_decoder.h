#pragma once
// Fast decoding of byte-aligned binary events ('I', 'F', 'D' that are not
// bit-packed): the DATA bytes are read in large chunks, each chunk is
// decoded parameter by parameter with a loop made for the data type, width
// and byte order (four neighbouring parameters of one type at a time where
// possible) straight into the columns. The results are the bits that
// DecodeBinary and FinishValue give value by value.
#include <cstdint>
#include <vector>

#include "fcs/value_decoder.h"
#include "util/vectors.h"

namespace dbc {

class TFCStream;

struct TEventLayout {
  std::int64_t start = 0;       // file offset of the first event
  std::int64_t stride = 0;      // from one decoded event to the next
  std::int64_t valueBytes = 0;  // bytes of an event that hold values
  std::vector<std::int64_t> offsets;  // of each parameter inside the event
  // Threads to decode with: 0 chooses by size (two for 32 MiB and more when
  // the machine has two cores), else 1 or 2.
  int threads = 0;
  // Raw bytes decoded at a time; such a chunk and its values stay in the
  // core's cache.
  std::int64_t chunkBytes = 256 * 1024;
};

// Decodes `count` events, all of whose bytes exist, into data (one column
// per plan). Returns the number of events decoded,
// which is smaller only when the source delivers fewer bytes than it said
// it holds.
std::int64_t DecodeEventBlocks(TFCStream& src, const TEventLayout& layout, std::int64_t count,
                               const std::vector<TValuePlan>& plans, TSingleMatrix& data);

}  // namespace dbc
