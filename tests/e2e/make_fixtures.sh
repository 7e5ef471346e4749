#!/usr/bin/env bash
# Builds the end-to-end fixtures from a known binary with srec_cat, so the
# record formats are a third-party tool's reading, not ours.
#   make_fixtures.sh SREC_CAT FIRMWARE.BIN OUTDIR
set -euo pipefail
srec_cat="$1"; firmware="$2"; out="$3"
mkdir -p "$out"
crlf() { sed 's/\r$//; s/$/\r/'; }
header() {
  printf '; Test file for the simulated radio (model 730).\r\n#M 730 simulated radio\r\n#VER 1.0\r\n'
}
# Intel HEX with extended segment addresses, 16 data bytes a record, at 0x8000.
{ header; printf '#E000000\r\n'; "$srec_cat" "$firmware" -binary -offset 0x8000 -o - -intel -address-length=3 -obs=16 | crlf; } \
  > "$out/730_intel.ruf"
# Motorola S3 records (four-byte addresses) of the same image.
{ header; printf '#E000000\r\n'; "$srec_cat" "$firmware" -binary -offset 0x8000 -o - -motorola -address-length=4 -obs=16 | crlf; } \
  > "$out/730_srec.ruf"
# The image as the radio's flash should hold it afterwards: 1 MiB erased to 0xFF, the firmware at 0x8000.
"$srec_cat" "$firmware" -binary -offset 0x8000 -fill 0xFF 0 0x100000 -o "$out/expected_flash.bin" -binary
# The same flash with one byte changed, for a verify against a radio that differs.
"$srec_cat" "$out/expected_flash.bin" -binary -exclude 0x9000 0x9001 -generate 0x9000 0x9001 -constant 0x5A \
  -o "$out/differing_flash.bin" -binary
