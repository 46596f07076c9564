// Every console text of cairn, as GBK (code page 936) bytes. The console
// writer shows them in a terminal's own encoding and writes these bytes
// everywhere else. The readable text stands in the comment above each one.
#pragma once

namespace cairn::msg {

// "'abc'的MD5: " (ASCII apostrophes and colon, then one space)
inline constexpr char kCaption[] = "'abc'\xb5\xc4" "MD5: ";

// The console's own press-any-key line, written where no pause command exists.
// 请按任意键继续. . .
inline constexpr char kPressAnyKey[] = "\xc7\xeb\xb0\xb4\xc8\xce\xd2\xe2\xbc\xfc\xbc\xcc\xd0\xf8" ". . .";

// The command line, which reads and writes what GNU coreutils' md5sum does.
// Its texts are plain ASCII.

inline constexpr char kHelp[] =
    "Usage: cairn [OPTION]... [FILE]...\n"
    "Print or check MD5 (RFC 1321) checksums, line for line as md5sum does.\n"
    "Without arguments, print the digest of abc and wait for a key. With FILE -,\n"
    "or with options and no FILE, read standard input.\n"
    "\n"
    "  -b, --binary          read in binary mode (the line carries '*')\n"
    "  -c, --check           check the sums listed in the FILEs\n"
    "      --tag             write BSD-style lines: MD5 (FILE) = <digest>\n"
    "  -t, --text            read in text mode (the default)\n"
    "  -z, --zero            end each line with NUL instead of a newline, and\n"
    "                        write names without escaping\n"
    "\n"
    "When checking:\n"
    "      --ignore-missing  skip listed files that do not exist\n"
    "      --quiet           print nothing for files that match\n"
    "      --status          print nothing; the exit status tells the outcome\n"
    "      --strict          fail on lines that are not sum lines\n"
    "  -w, --warn            report each line that is not a sum line\n"
    "\n"
    "  -h, --help            show this help\n"
    "      --version         show the version\n"
    "\n"
    "Exit status: 0 when every file was read and, when checking, matched; 1 otherwise.\n";

// --version's second line: "MD5 kernel: avx512x2 (32 lanes)".
inline constexpr char kVersionKernel[] = "MD5 kernel: ";
inline constexpr char kVersionLanes[] = " lanes)\n";

// Diagnostics on standard error, after "cairn: ".
inline constexpr char kProgramPrefix[] = "cairn: ";
inline constexpr char kTryHelp[] = "Try 'cairn --help' for more information.\n";
inline constexpr char kInvalidOption[] = "invalid option -- ";
inline constexpr char kUnrecognizedOption[] = "unrecognized option ";
inline constexpr char kAmbiguousOption[] = " is ambiguous; possibilities:";
inline constexpr char kNoArgumentAllowed[] = " doesn't allow an argument";
inline constexpr char kTagWithText[] = "--tag does not support --text mode";
inline constexpr char kZeroWhenChecking[] = "the --zero option is not supported when verifying checksums";
inline constexpr char kTagWhenChecking[] = "the --tag option is meaningless when verifying checksums";
inline constexpr char kModeWhenChecking[] = "the --binary and --text options are meaningless when verifying checksums";
inline constexpr char kOnlyWhenChecking[] = " option is meaningful only when verifying checksums";
inline constexpr char kReadError[] = "read error";
inline constexpr char kWriteError[] = "write error";
inline constexpr char kImproperLine[] = "improperly formatted MD5 checksum line";
inline constexpr char kNoSumLines[] = "no properly formatted checksum lines found";
inline constexpr char kNoFileVerified[] = "no file was verified";
inline constexpr char kMemoryExhausted[] = "memory exhausted";
// How standard input is named in diagnostics.
inline constexpr char kStandardInput[] = "standard input";

// Check reports on standard output, after the name.
inline constexpr char kOk[] = ": OK";
inline constexpr char kFailed[] = ": FAILED";
inline constexpr char kFailedToRead[] = ": FAILED open or read";

// Check summaries, after "cairn: WARNING: <count>": one form for a count of 1,
// one for any other count.
inline constexpr char kWarning[] = "WARNING: ";
inline constexpr char kImproperLinesOne[] = " line is improperly formatted";
inline constexpr char kImproperLinesMany[] = " lines are improperly formatted";
inline constexpr char kUnreadFilesOne[] = " listed file could not be read";
inline constexpr char kUnreadFilesMany[] = " listed files could not be read";
inline constexpr char kMismatchesOne[] = " computed checksum did NOT match";
inline constexpr char kMismatchesMany[] = " computed checksums did NOT match";

}  // namespace cairn::msg
