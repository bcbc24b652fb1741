#include <tern/msg/msg.h>

#include <array>

namespace tern {
namespace {

// tables[0] is the usual CRC-16/CCITT table; tables[k][b] is the CRC of byte b followed by k
// zero bytes, so eight bytes fold into the CRC with one lookup each and no dependency chain.
constexpr int slices = 8;
using crc_tables_t = std::array<std::array<std::uint16_t, 256>, slices>;

constexpr crc_tables_t make_tables() {
    crc_tables_t t{};
    for (unsigned b = 0; b < 256; ++b) {
        unsigned crc = b << 8;
        for (int i = 0; i < 8; ++i) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        t[0][b] = static_cast<std::uint16_t>(crc);
    }
    for (int k = 1; k < slices; ++k)
        for (unsigned b = 0; b < 256; ++b) {
            unsigned prev = t[k - 1][b];
            t[k][b] = static_cast<std::uint16_t>((prev << 8) ^ t[0][prev >> 8]);
        }
    return t;
}

constexpr crc_tables_t tables = make_tables();

} // namespace

unsigned short crc_checksum(unsigned short init, const unsigned char* data, unsigned int len) {
    unsigned crc = init;
    while (len >= 8) {
        crc = tables[7][(crc >> 8) ^ data[0]] ^ tables[6][(crc & 0xFF) ^ data[1]] ^
              tables[5][data[2]] ^ tables[4][data[3]] ^ tables[3][data[4]] ^ tables[2][data[5]] ^
              tables[1][data[6]] ^ tables[0][data[7]];
        data += 8;
        len -= 8;
    }
    while (len--) crc = (tables[0][(crc >> 8) ^ *data++] ^ (crc << 8)) & 0xFFFF;
    return static_cast<unsigned short>(crc);
}

} // namespace tern
