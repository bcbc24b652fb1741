// Firmware files: decoding a 4 MiB image as S-record and as Intel hex from a file against a
// minimal reference decoder, and SHA-256 and MD5 over 64 MiB against OpenSSL's EVP interface.
#include <tern/firmware/ih_decode.h>
#include <tern/firmware/md5.h>
#include <tern/firmware/sha256sum.h>
#include <tern/firmware/srec_decode.h>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t image_size = 4 << 20;
constexpr uint32_t base = 0x08000000;

std::vector<unsigned char> random_image(size_t n) {
    std::mt19937 gen(42);
    std::vector<unsigned char> v(n);
    for (auto& b : v) b = static_cast<unsigned char>(gen());
    return v;
}

const std::vector<unsigned char>& image() {
    static const std::vector<unsigned char> v = random_image(image_size);
    return v;
}

void put_hex(std::string& s, unsigned b) {
    static const char d[] = "0123456789ABCDEF";
    s += d[b >> 4 & 15];
    s += d[b & 15];
}

// The image as S3 records of 32 bytes, then S7.
std::string srec_text() {
    std::string t;
    const auto& img = image();
    for (size_t at = 0; at < img.size(); at += 32) {
        const uint32_t a = base + static_cast<uint32_t>(at);
        unsigned sum = 37;
        t += "S325";
        for (int i = 3; i >= 0; --i) {
            put_hex(t, a >> (8 * i) & 0xFF);
            sum += a >> (8 * i) & 0xFF;
        }
        for (size_t i = 0; i < 32; ++i) {
            put_hex(t, img[at + i]);
            sum += img[at + i];
        }
        put_hex(t, ~sum & 0xFF);
        t += '\n';
    }
    return t + "S70500000000FA\n";
}

// The image as Intel hex: 32-byte data records, an extended linear address every 64 KiB.
std::string ihex_text() {
    std::string t;
    const auto& img = image();
    for (size_t at = 0; at < img.size(); at += 32) {
        const uint32_t a = base + static_cast<uint32_t>(at);
        if ((a & 0xFFFF) == 0) {
            unsigned sum = 2 + 4 + (a >> 24) + (a >> 16 & 0xFF);
            t += ":02000004";
            put_hex(t, a >> 24);
            put_hex(t, a >> 16 & 0xFF);
            put_hex(t, (0x100 - (sum & 0xFF)) & 0xFF);
            t += '\n';
        }
        unsigned sum = 32 + (a >> 8 & 0xFF) + (a & 0xFF);
        t += ":20";
        put_hex(t, a >> 8 & 0xFF);
        put_hex(t, a & 0xFF);
        t += "00";
        for (size_t i = 0; i < 32; ++i) {
            put_hex(t, img[at + i]);
            sum += img[at + i];
        }
        put_hex(t, (0x100 - (sum & 0xFF)) & 0xFF);
        t += '\n';
    }
    return t + ":00000001FF\n";
}

std::string write_temp(const std::string& text, const char* name) {
    std::string path = "/tmp/tern_bench_" + std::to_string(getpid()) + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    return path;
}

struct files_t {
    std::string srec = write_temp(srec_text(), ".s19");
    std::string ihex = write_temp(ihex_text(), ".hex");
    ~files_t() {
        std::remove(srec.c_str());
        std::remove(ihex.c_str());
    }
};

const files_t& files() {
    static const files_t f;
    return f;
}

// The reference: hex pairs to bytes (through a table) and the checksum, one line at a time,
// no texts.
struct hex_table_t {
    signed char v[256];
    hex_table_t() {
        for (int i = 0; i < 256; ++i) v[i] = -1;
        for (int i = 0; i < 10; ++i) v['0' + i] = static_cast<signed char>(i);
        for (int i = 0; i < 6; ++i) v['A' + i] = v['a' + i] = static_cast<signed char>(10 + i);
    }
};
const hex_table_t hex_table;

inline int hexval(char c) {
    return hex_table.v[static_cast<unsigned char>(c)];
}

// Decodes the line's hex pairs from `from` into `out`; the number of bytes, -1 when bad.
inline int ref_pairs(const char* line, size_t from, unsigned char* out) {
    int n = 0;
    for (size_t i = from;; i += 2) {
        const int h = hexval(line[i]);
        if (h < 0) return n;
        const int l = hexval(line[i + 1]);
        if (l < 0) return -1;
        out[n++] = static_cast<unsigned char>(h << 4 | l);
    }
}

bool ref_srec(const char* path, std::vector<unsigned char>& mem) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char line[520];
    unsigned char b[260];
    bool ok = true;
    while (ok && std::fgets(line, sizeof line, f)) {
        const int n = ref_pairs(line, 2, b);
        unsigned sum = 0;
        for (int i = 0; i < n - 1; ++i) sum += b[i];
        ok = n > 0 && ((~sum) & 0xFF) == b[n - 1];
        if (ok && line[1] == '3') {
            const uint32_t a = uint32_t(b[1]) << 24 | b[2] << 16 | b[3] << 8 | b[4];
            if (a >= base && a - base + (n - 6) <= mem.size())
                std::memcpy(&mem[a - base], b + 5, n - 6);
        }
    }
    std::fclose(f);
    return ok;
}

bool ref_ihex(const char* path, std::vector<unsigned char>& mem) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    char line[530];
    unsigned char b[270];
    uint32_t seg = 0;
    bool ok = true;
    while (ok && std::fgets(line, sizeof line, f)) {
        const int n = ref_pairs(line, 1, b);
        unsigned sum = 0;
        for (int i = 0; i < n; ++i) sum += b[i];
        ok = n >= 5 && (sum & 0xFF) == 0;
        if (!ok) break;
        if (b[3] == 4) seg = uint32_t(b[4]) << 24 | b[5] << 16;
        if (b[3] == 0) {
            const uint32_t a = seg + (b[1] << 8 | b[2]);
            if (a >= base && a - base + b[0] <= mem.size())
                std::memcpy(&mem[a - base], b + 4, b[0]);
        }
        if (b[3] == 1) break;
    }
    std::fclose(f);
    return ok;
}

void BM_srec_reference(benchmark::State& state) {
    std::vector<unsigned char> mem(image_size);
    for (auto _ : state)
        if (!ref_srec(files().srec.c_str(), mem)) state.SkipWithError("reference failed");
    if (mem != image()) state.SkipWithError("reference decoded wrong bytes");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image_size));
}

void BM_srec_tern(benchmark::State& state) {
    std::vector<unsigned char> mem(image_size);
    for (auto _ : state) {
        FILE* f = std::fopen(files().srec.c_str(), "rb");
        srec_decode_t dec;
        dec.init(f, 1);
        srec_t rec;
        int r;
        while ((r = dec.get_rec(rec)) > 0)
            if (rec.type() == 3) {
                const uint32_t a = rec.addr32();
                if (a >= base && a - base + rec.data_len() <= mem.size())
                    std::memcpy(&mem[a - base], rec.data(), rec.data_len());
            }
        std::fclose(f);
        if (r < 0) state.SkipWithError(dec.get_desc().c_str());
    }
    if (mem != image()) state.SkipWithError("decoded wrong bytes");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image_size));
}

void BM_srec_loader_tern(benchmark::State& state) {
    std::vector<unsigned char> mem(image_size);
    std::vector<unsigned char> frame(4096);
    for (auto _ : state) {
        FILE* f = std::fopen(files().srec.c_str(), "rb");
        srec_decode_t dec;
        dec.init(f, 1);
        srec_loader_t loader;
        while (loader.load(dec, frame.data(), 4096) > 0)
            std::memcpy(&mem[loader.addr() - base], frame.data(), loader.size());
        std::fclose(f);
    }
    if (mem != image()) state.SkipWithError("loaded wrong bytes");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image_size));
}

void BM_ihex_reference(benchmark::State& state) {
    std::vector<unsigned char> mem(image_size);
    for (auto _ : state)
        if (!ref_ihex(files().ihex.c_str(), mem)) state.SkipWithError("reference failed");
    if (mem != image()) state.SkipWithError("reference decoded wrong bytes");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image_size));
}

// One pass over the records as the uploader reads them (after the checking scan).
void BM_ihex_tern(benchmark::State& state) {
    std::vector<unsigned char> mem(image_size);
    ih_decode_t ih;
    if (!ih.scan(files().ihex)) state.SkipWithError(ih.get_err().c_str());
    unsigned char data[255];
    for (auto _ : state) {
        ih.rewind();
        uint32_t a;
        unsigned len;
        while (ih.get_data_rec(a, len, data))
            if (a >= base && a - base + len <= mem.size()) std::memcpy(&mem[a - base], data, len);
        if (!ih.is_eof()) state.SkipWithError(ih.get_err().c_str());
    }
    if (mem != image()) state.SkipWithError("decoded wrong bytes");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image_size));
}

// The checking scan: open, every line validated, range and length kept.
void BM_ihex_scan_tern(benchmark::State& state) {
    for (auto _ : state) {
        ih_decode_t ih;
        if (!ih.scan(files().ihex)) state.SkipWithError(ih.get_err().c_str());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image_size));
}

constexpr size_t digest_size = 64 << 20;

const std::vector<unsigned char>& digest_data() {
    static const std::vector<unsigned char> v = random_image(digest_size);
    return v;
}

void evp(benchmark::State& state, const EVP_MD* md) {
    const auto& d = digest_data();
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned n;
    for (auto _ : state) {
        EVP_Digest(d.data(), d.size(), out, &n, md, nullptr);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(digest_size));
}

void BM_sha256_reference(benchmark::State& state) {
    evp(state, EVP_sha256());
}
void BM_md5_reference(benchmark::State& state) {
    evp(state, EVP_md5());
}

void BM_sha256_tern(benchmark::State& state) {
    const auto& d = digest_data();
    unsigned char out[32];
    for (auto _ : state) {
        sha256sum_t s;
        s.add_data(d.data(), d.size());
        s.get_sum(out);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(digest_size));
}

void BM_md5_tern(benchmark::State& state) {
    const auto& d = digest_data();
    unsigned char out[16];
    for (auto _ : state) {
        md5_state_t s;
        md5_init(&s);
        md5_append(&s, d.data(), d.size());
        md5_finish(&s, out);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(digest_size));
}

} // namespace

BENCHMARK(BM_srec_reference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_srec_tern)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_srec_loader_tern)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ihex_reference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ihex_tern)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ihex_scan_tern)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_sha256_reference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_sha256_tern)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_md5_reference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_md5_tern)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
