#pragma once
// The radio models the updater knows, tried in this order. The first row, the
// default model, stands for every version reply without a model code.

#include <span>

namespace flash {

enum class ModelAcknowledge {
  XX,          // "XX\r", reply time-out 10 s
  ZZ,          // "ZZ\r"
  ZZWithWait,  // "ZZ\r", reply time-out 50 s, a repeat sends "ZZ\r" again
};

struct RadioModel {
  int code;
  const char* statusText;
  ModelAcknowledge acknowledge;
  const char* mismatchMessage;
};

std::span<const RadioModel> RadioModelTable();

}  // namespace flash
