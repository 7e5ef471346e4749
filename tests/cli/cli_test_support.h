#pragma once
// Helpers of the command-line program's tests: a Qt application for the tests
// that need its event loop, and builders of RUF record lines with correct
// checksums.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace flash::cli::testing {

// The one QCoreApplication of the test process, made on first use.
void EnsureQtApp();
// Handles Qt events until done() holds; false if it still fails after 10 s.
bool ProcessEventsUntil(const std::function<bool()>& done);

// ":LLAAAATT<data>CC" with the right checksum (CC altered by checksumDelta).
std::string IntelRecord(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data,
                        int checksumDelta = 0);
// An extended segment address record (type 02).
std::string SegmentRecord(std::uint16_t segment);
// "S<type>NN<address><data>CC" with the right checksum; addressBytes 2, 3 or 4.
std::string SRecord(int type, std::uint32_t address, int addressBytes, const std::vector<std::uint8_t>& data);
// n bytes 0, 1, 2, ...
std::vector<std::uint8_t> Bytes(std::size_t n);

}  // namespace flash::cli::testing
