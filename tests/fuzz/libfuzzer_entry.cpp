// libFuzzer entry for one target, chosen when the fuzzer is built.
#include <cstdlib>

#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!FLASH_FUZZ_TARGET(data, size)) std::abort();
  return 0;
}
