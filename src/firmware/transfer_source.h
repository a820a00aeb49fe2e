// Where the sender's data comes from: a reader that hands out the image in
// chunks.
//
// Thread contract: Read is called only by the thread that runs the transfer,
// one call at a time.
#pragma once

#include "platform/win_types.h"

class TransferSource {
 public:
  // Fills up to maxBytes bytes of buffer and returns their number (> 0), 0
  // when the data has ended, or a negative code when it cannot deliver.
  virtual int Read(BYTE* buffer, int maxBytes) = 0;
  virtual ~TransferSource() = default;
};
