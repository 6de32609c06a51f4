#pragma once
// Result codes of the ZIP reader. The upper layer (archive, entry lookup,
// extraction) answers with the positive codes; the structure reader below it
// with the negative ones, which the upper layer passes on where they say more.

namespace zip {

enum ZipResult : int {
    ZipOk = 0,
    ZipCannotOpen = 0x200,     // archive file or output file cannot be opened
    ZipWriteFailed = 0x400,    // reading the entry's data or writing the output failed
    ZipInconsistent = 0x700,   // local header disagrees with the central one, or unknown method
    ZipReadFailed = 0x800,     // the local extra field cannot be read
    ZipNameTooLong = 0x900,    // entry name of 259 bytes or more
    ZipPathTooLong = 0xA00,    // destination or folder path beyond 259 characters
    ZipUnsafeName = 0xB00,     // name that would leave the target folder
    ZipBadArgument = 0x10000,  // null handle or index out of range

    ZipIoError = -1,           // seek or read failed or came up short; no end record
    ZipEndOfList = -100,       // no further entry, or the directory cannot be walked further
    ZipBadHandle = -102,       // no archive, or no entry open for reading
    ZipBadArchive = -103,      // a signature or consistency check failed
    ZipOutOfMemory = -104,
    ZipCrcMismatch = -105,     // all bytes delivered, CRC-32 differs from the central header
    ZipUnsupported = -106,     // Zip64 records or sizes, or an encrypted entry
};

// "ZipBadArchive" and the like, for messages; "unknown" for anything else.
const char* ZipResultName(int result);

}  // namespace zip
