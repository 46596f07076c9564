// Checking sums lists: every sum line's file hashed and reported in turn,
// improper lines counted, and the summary md5sum gives.
#pragma once

#include "command_line/options.h"
#include "command_line/output.h"
#include "hashing/digest_pool.h"

namespace cairn {

// The next digest of the pool, with every line gathered written first when
// it must be waited for.
FileDigest nextInTurn(DigestPool& pool, Streams& streams);

// Checks every list of `options.files` in turn; true when every file was
// read and matched. `readStandardInput` tells whether a list was standard
// input.
bool checkLists(const Options& options, Streams& streams, DigestPool& pool, bool& readStandardInput);

}  // namespace cairn
