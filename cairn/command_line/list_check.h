// Checking sums lists: every sum line's file hashed and reported in turn,
// improper lines counted, and the summary md5sum gives.
#pragma once

#include "command_line/options.h"
#include "command_line/output.h"
#include "hashing/digest_pool.h"

namespace cairn {

// Checks every list of `options.files` in turn; true when every file was
// read and matched. `readStandardInput` tells whether a list was standard
// input.
bool checkLists(const Options& options, Streams& streams, DigestPool& pool, bool& readStandardInput);

}  // namespace cairn
