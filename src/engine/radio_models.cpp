#include "engine/radio_models.h"

#include <array>

namespace flash {

std::span<const RadioModel> RadioModelTable() {
  static constexpr std::array<RadioModel, 8> kTable{{
      {710, "Tarsel 710", ModelAcknowledge::XX, "The selected RUF file is not compatible with the Tarsel"},
      {720, "Brennik 720", ModelAcknowledge::ZZ, "The selected RUF file is not compatible with the Brennik"},
      {610, "Model KD610", ModelAcknowledge::ZZ, "The selected RUF file is not compatible with the Model KD610"},
      {730, "Model 730", ModelAcknowledge::ZZWithWait, "The selected RUF file is not compatible with the Model 730"},
      {640, "KD-640 Reciever", ModelAcknowledge::ZZ, "The selected RUF file is not compatible with the KD-640"},
      {760, "Varrow K Transceiver", ModelAcknowledge::ZZ, "The selected RUF file is not compatible with the VARR-K"},
      {750, "Ostrel 750", ModelAcknowledge::ZZ, "The selected RUF file is not compatible with the Ostrel"},
      {751, "Ostrel 2 751", ModelAcknowledge::ZZ, "The selected RUF file is not compatible with the Ostrel2"},
  }};
  return kTable;
}

}  // namespace flash
