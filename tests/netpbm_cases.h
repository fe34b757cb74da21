// Damaged PFM and PAM headers and the reason each must be turned down with: one table, read by
// the netpbm module's tests on bytes and by the tool's damaged-file tests through files.
// Portable: standard library only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace netpbmcases {

struct BadHeader {
  const char* text;
  const char* reason;  // a part of the message
};

// Whole PFM headers; samples follow (PfmWithSamples).
inline constexpr BadHeader kBadPfmHeaders[] = {
    {"PG\n3 2\n-1.0\n", "not a PFM file"},
    {"pf\n3 2\n-1.0\n", "not a PFM file"},
    {"P5\n3 2\n255\n", "not a PFM file"},
    {"Pf\n0 2\n-1.0\n", "no pixels"},
    {"Pf\n3 0\n-1.0\n", "no pixels"},
    {"Pf\n65536 1\n-1.0\n", "over 65535"},
    {"Pf\n1 65536\n-1.0\n", "over 65535"},
    {"Pf\n99999999999 99999999999\n-1.0\n", "over 65535"},  // the product overflows 64 bits
    {"Pf\n18446744073709551617 1\n-1.0\n", "no valid width and height"},
    {"Pf\n-3 2\n-1.0\n", "no valid width and height"},
    {"Pf\n3 2\nnan\n", "not a non-zero number"},
    {"Pf\n3 2\n-nan\n", "not a non-zero number"},
    {"Pf\n3 2\ninf\n", "not a non-zero number"},
    {"Pf\n3 2\n1e999\n", "not a non-zero number"},
    {"Pf\n3 2\n0\n", "not a non-zero number"},
    {"Pf\n3 2\n-0.0\n", "not a non-zero number"},
    {"Pf\n3 2\n1.0x\n", "not a non-zero number"},
    {"Pf\n3 2\n\x1b[31m\n", "\\x1b"},  // quoted, but not sent to the terminal as it is
    {"Pf\n65535 65535\n-1.0\n", "truncated"},
    {"PF\n3 2\n-1.0\n", "truncated"},  // colour needs three samples a pixel
};

// PAM header fields between "P7\n" and "ENDHDR\n"; samples follow (PamWithSamples).
inline constexpr BadHeader kBadPamFields[] = {
    {"WIDTH 0\nHEIGHT 2\nDEPTH 3\nMAXVAL 255\n", "no valid WIDTH and HEIGHT"},
    {"WIDTH 2\nHEIGHT 0\nDEPTH 3\nMAXVAL 255\n", "no valid WIDTH and HEIGHT"},
    {"HEIGHT 2\nDEPTH 3\nMAXVAL 255\n", "no valid WIDTH and HEIGHT"},
    {"WIDTH 65536\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\n", "over 65535"},
    {"WIDTH 999999999\nHEIGHT 999999999\nDEPTH 4\nMAXVAL 65535\n", "over 65535"},
    {"WIDTH 9999999999\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\n", "not understood"},
    {"WIDTH -2\nHEIGHT 2\nDEPTH 3\nMAXVAL 255\n", "not understood"},
    {"WIDTH 2\nHEIGHT 2\nDEPTH 0\nMAXVAL 255\n", "DEPTH 1 to 4"},
    {"WIDTH 2\nHEIGHT 2\nDEPTH 5\nMAXVAL 255\n", "DEPTH 1 to 4"},
    {"WIDTH 2\nHEIGHT 2\nDEPTH 3\nMAXVAL 0\n", "MAXVAL 255 or 65535"},
    {"WIDTH 2\nHEIGHT 2\nDEPTH 3\nMAXVAL 1000\n", "MAXVAL 255 or 65535"},
    {"WIDTH 65535\nHEIGHT 65535\nDEPTH 4\nMAXVAL 65535\n", "truncated"},
    {"WIDTH 2\nHEIGHT 2\nDEPTH 3\nMAXVAL 255\nCOLOUR\x07 red\n", "\\x07"},
};

// A header followed by 64 bytes of samples: more than the sides that are valid ask for.
inline std::vector<uint8_t> PfmWithSamples(const std::string& header) {
  const std::string text = header + std::string(64, '\0');
  return std::vector<uint8_t>(text.begin(), text.end());
}
inline std::vector<uint8_t> PamWithSamples(const std::string& fields) {
  const std::string text = "P7\n" + fields + "ENDHDR\n" + std::string(64, 'x');
  return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace netpbmcases
