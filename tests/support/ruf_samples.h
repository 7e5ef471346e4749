#pragma once
// Small RUF files that the engine and link tests run.

#include <cstdint>
#include <string>
#include <vector>

namespace flash::testing {

// A comment, an extended segment record (0x1000), two data records at offsets
// 0x0100 and 0x0110 (flash 0x10100..0x1011F) and the end-of-file record.
inline const std::string kIntelHexFile =
    "; test file\r\n"
    ":020000021000EC\r\n"
    ":10010000214601360121470136007EFE09D2190140\r\n"
    ":100110002146017E17C20001FF5F16002148011928\r\n"
    ":00000001FF\r\n";

// The 32 data bytes of kIntelHexFile, in address order.
inline const std::vector<std::uint8_t> kIntelHexData = {
    0x21, 0x46, 0x01, 0x36, 0x01, 0x21, 0x47, 0x01, 0x36, 0x00, 0x7E, 0xFE, 0x09, 0xD2, 0x19, 0x01,
    0x21, 0x46, 0x01, 0x7E, 0x17, 0xC2, 0x00, 0x01, 0xFF, 0x5F, 0x16, 0x00, 0x21, 0x48, 0x01, 0x19};

// A header, two S3 records at address 0 and 4, and a record that ends the data.
inline const std::string kSRecordFile =
    "S00600004844521B\r\n"
    "S30900000000AABBCCDDE8\r\n"
    "S309000000041122334448\r\n"
    "S5030002FA\r\n";

}  // namespace flash::testing
