#pragma once
// A BLOB value while a cursor reads or writes it (memory and disk tables): a
// compressed BLOB stream over a work stream that it owns. Thread rule: used
// by one cursor at a time.
#include <memory>

#include "engine/core/streams/QXLCompressedBLOBStream.h"
#include "engine/core/streams/QXLTemporaryStream.h"

namespace qxl {

// Holds the work stream so that it exists before the compressed stream over it.
struct TQXLOwnedWorkStream {
  std::unique_ptr<TQXLTemporaryStream> FWorkStream;
};

class TQXLOwningBLOBStream : private TQXLOwnedWorkStream, public TQXLCompressedBLOBStream {
public:
  // ToCreate starts an empty value; otherwise WorkStream holds the value's
  // compressed stream from position 0.
  TQXLOwningBLOBStream(std::unique_ptr<TQXLTemporaryStream> WorkStream, const TQXLBLOBDescriptor& Descriptor,
                       bool ToCreate)
      : TQXLOwnedWorkStream{std::move(WorkStream)},
        TQXLCompressedBLOBStream(*FWorkStream, Descriptor, ToCreate, false) {}
};

}  // namespace qxl
