#include "KVJpegWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kvtest {

namespace {

constexpr int kZigZag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                             12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                             35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                             58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

constexpr uint16_t kLumaBase[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr uint16_t kChromaBase[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                                      24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                                      99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                                      99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

JpegQuantTable Scaled(const uint16_t base[64], int quality) {
    quality = std::min(100, std::max(1, quality));
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    JpegQuantTable t;
    for (int i = 0; i < 64; ++i) t[i] = uint16_t(std::min(255, std::max(1, (base[i] * scale + 50) / 100)));
    return t;
}

void Put16(std::string* out, uint32_t v) {
    out->push_back(char(v >> 8));
    out->push_back(char(v & 0xFF));
}

void PutMarker(std::string* out, uint8_t code) {
    out->push_back(char(0xFF));
    out->push_back(char(code));
}

int BitLength(int v) {
    v = std::abs(v);
    int n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

// Code lengths of at most 16 bits from symbol counts, with no code of all
// ones (a reserved extra symbol takes that place and is then dropped).
struct HuffmanCode {
    uint8_t counts[16] = {};
    std::vector<uint8_t> symbols;
    uint16_t code[256] = {};
    uint8_t size[256] = {};

    void Build(const uint32_t frequencies[256]) {
        long freq[257];
        int sizes[257] = {};
        int others[257];
        for (int i = 0; i < 256; ++i) freq[i] = frequencies[i];
        freq[256] = 1;
        for (int& o : others) o = -1;
        for (;;) {
            int c1 = -1, c2 = -1;
            for (int i = 0; i <= 256; ++i) {
                if (freq[i] == 0) continue;
                if (c1 < 0 || freq[i] <= freq[c1]) {
                    c2 = c1;
                    c1 = i;
                } else if (c2 < 0 || freq[i] <= freq[c2]) {
                    c2 = i;
                }
            }
            if (c2 < 0) break;
            freq[c1] += freq[c2];
            freq[c2] = 0;
            ++sizes[c1];
            while (others[c1] >= 0) {
                c1 = others[c1];
                ++sizes[c1];
            }
            others[c1] = c2;
            ++sizes[c2];
            while (others[c2] >= 0) {
                c2 = others[c2];
                ++sizes[c2];
            }
        }
        // A code can grow as deep as there are symbols.
        int bits[260] = {};
        for (int i = 0; i <= 256; ++i)
            if (sizes[i]) ++bits[sizes[i]];
        for (int i = 259; i > 16; --i) {
            while (bits[i] > 0) {
                int j = i - 2;
                while (bits[j] == 0) --j;
                bits[i] -= 2;
                ++bits[i - 1];
                bits[j + 1] += 2;
                --bits[j];
            }
        }
        int longest = 16;
        while (longest > 0 && bits[longest] == 0) --longest;
        if (longest > 0) --bits[longest];  // the reserved symbol
        for (int i = 0; i < 16; ++i) counts[i] = uint8_t(bits[i + 1]);
        symbols.clear();
        for (int length = 1; length < 260; ++length)
            for (int s = 0; s < 256; ++s)
                if (sizes[s] == length) symbols.push_back(uint8_t(s));
        // Canonical codes in order of length.
        int next = 0, index = 0;
        for (int length = 1; length <= 16; ++length) {
            for (int k = 0; k < counts[length - 1]; ++k, ++index, ++next) {
                code[symbols[index]] = uint16_t(next);
                size[symbols[index]] = uint8_t(length);
            }
            next <<= 1;
        }
        symbols.resize(size_t(index));
    }
};

class BitSink {
public:
    explicit BitSink(std::string* out) : m_out(out) {}
    void Put(uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            m_acc = (m_acc << 1) | ((value >> i) & 1u);
            if (++m_count == 8) Emit();
        }
    }
    void Align() {
        while (m_count != 0) Put(1, 1);
    }

private:
    void Emit() {
        m_out->push_back(char(m_acc));
        if ((m_acc & 0xFF) == 0xFF) m_out->push_back(char(0));
        m_acc = 0;
        m_count = 0;
    }
    std::string* m_out;
    uint32_t m_acc = 0;
    int m_count = 0;
};

// Encodes one scan twice: first counting symbols, then writing them with
// the codes built from those counts.
class ScanEncoder {
public:
    ScanEncoder(const JpegCoefficients& c, const JpegScan& scan, bool progressive, uint16_t restartInterval)
        : m_c(c), m_scan(scan), m_progressive(progressive), m_restart(restartInterval) {}

    void Write(std::string* out) {
        Run();
        // DHT for every table the scan used.
        std::string dht;
        for (int tableClass = 0; tableClass < 2; ++tableClass) {
            for (int id = 0; id < 2; ++id) {
                bool used = false;
                for (uint32_t f : m_freq[tableClass][id]) used = used || f != 0;
                if (!used) continue;
                HuffmanCode& h = m_codes[tableClass][id];
                h.Build(m_freq[tableClass][id]);
                dht.push_back(char((tableClass << 4) | id));
                for (uint8_t n : h.counts) dht.push_back(char(n));
                for (uint8_t s : h.symbols) dht.push_back(char(s));
            }
        }
        if (!dht.empty()) {
            PutMarker(out, 0xC4);
            Put16(out, uint32_t(dht.size() + 2));
            *out += dht;
        }
        PutMarker(out, 0xDA);
        Put16(out, uint32_t(6 + 2 * m_scan.components.size()));
        out->push_back(char(m_scan.components.size()));
        for (int index : m_scan.components) {
            const int table = TableOf(index);
            out->push_back(char(m_c.components[size_t(index)].id));
            out->push_back(char((table << 4) | table));
        }
        out->push_back(char(m_scan.ss));
        out->push_back(char(m_scan.se));
        out->push_back(char((m_scan.ah << 4) | m_scan.al));
        BitSink sink(out);
        m_sink = &sink;
        m_out = out;
        Run();
        m_sink = nullptr;
    }

private:
    static int TableOf(int component) { return component == 0 ? 0 : 1; }

    void Symbol(int tableClass, int component, int symbol) {
        const int id = TableOf(component);
        if (!m_sink) {
            ++m_freq[tableClass][id][symbol];
            return;
        }
        const HuffmanCode& h = m_codes[tableClass][id];
        m_sink->Put(h.code[symbol], h.size[symbol]);
    }
    void Bits(uint32_t value, int n) {
        if (m_sink && n > 0) m_sink->Put(value & ((1u << n) - 1u), n);
    }
    void FlushBits(const std::vector<uint8_t>& bits) {
        for (uint8_t b : bits) Bits(b, 1);
    }
    void FlushEndOfBand() {
        if (m_eobRun == 0) return;
        const int n = BitLength(int(m_eobRun)) - 1;
        Symbol(1, m_eobComponent, n << 4);
        Bits(m_eobRun, n);
        FlushBits(m_eobBits);
        m_eobRun = 0;
        m_eobBits.clear();
    }

    void Restart() {
        FlushEndOfBand();
        if (m_sink) {
            m_sink->Align();
            PutMarker(m_out, uint8_t(0xD0 + (m_restartCount & 7)));
        }
        ++m_restartCount;
        for (int& p : m_predictor) p = 0;
    }

    void Run() {
        for (int& p : m_predictor) p = 0;
        m_eobRun = 0;
        m_eobBits.clear();
        m_restartCount = 0;
        uint32_t units = 0;
        auto unit = [&]() {
            if (m_restart && units > 0 && units % m_restart == 0) Restart();
            ++units;
        };
        if (m_scan.components.size() == 1) {
            const int index = m_scan.components[0];
            const JpegComponent& comp = m_c.components[size_t(index)];
            // A lone component's scan covers its own blocks only.
            uint32_t hMax = 1, vMax = 1;
            for (const JpegComponent& k : m_c.components) {
                hMax = std::max<uint32_t>(hMax, k.h);
                vMax = std::max<uint32_t>(vMax, k.v);
            }
            if (m_c.components.size() == 1) hMax = comp.h, vMax = comp.v;
            const uint32_t wide = ((m_c.width * comp.h + hMax - 1) / hMax + 7) / 8;
            const uint32_t high = ((m_c.height * comp.v + vMax - 1) / vMax + 7) / 8;
            for (uint32_t by = 0; by < high; ++by)
                for (uint32_t bx = 0; bx < wide; ++bx) {
                    unit();
                    Encode(index, by, bx);
                }
        } else {
            const JpegComponent& first = m_c.components[size_t(m_scan.components[0])];
            const uint32_t mcusWide = m_c.blocksWide[size_t(m_scan.components[0])] / first.h;
            const uint32_t mcusHigh = m_c.blocksHigh[size_t(m_scan.components[0])] / first.v;
            for (uint32_t my = 0; my < mcusHigh; ++my)
                for (uint32_t mx = 0; mx < mcusWide; ++mx) {
                    unit();
                    for (int index : m_scan.components) {
                        const JpegComponent& comp = m_c.components[size_t(index)];
                        for (uint32_t y = 0; y < comp.v; ++y)
                            for (uint32_t x = 0; x < comp.h; ++x) Encode(index, my * comp.v + y, mx * comp.h + x);
                    }
                }
        }
        FlushEndOfBand();
        if (m_sink) m_sink->Align();
    }

    void Encode(int index, uint32_t row, uint32_t column) {
        const int16_t* block = &m_c.blocks[size_t(index)][(size_t(row) * m_c.blocksWide[size_t(index)] + column) * 64];
        int zz[64];
        for (int k = 0; k < 64; ++k) zz[k] = block[kZigZag[k]];
        if (!m_progressive) {
            EncodeDc(index, zz[0]);
            EncodeAcFirst(index, zz, 1, 63, 0, true);
        } else if (m_scan.ss == 0) {
            if (m_scan.ah == 0)
                EncodeDc(index, zz[0] >> m_scan.al);  // arithmetic shift, as the point transform of DC
            else
                Bits(uint32_t(zz[0] >> m_scan.al) & 1u, 1);
        } else if (m_scan.ah == 0) {
            EncodeAcFirst(index, zz, m_scan.ss, m_scan.se, m_scan.al, false);
        } else {
            EncodeAcRefine(index, zz);
        }
    }

    void EncodeDc(int index, int value) {
        const int diff = value - m_predictor[index];
        m_predictor[index] = value;
        const int n = BitLength(diff);
        Symbol(0, index, n);
        Bits(uint32_t(diff < 0 ? diff - 1 : diff), n);
    }

    // Sequential blocks (eob per block) and first AC scans (eob runs).
    void EncodeAcFirst(int index, const int zz[64], int ss, int se, int al, bool sequential) {
        int run = 0;
        for (int k = ss; k <= se; ++k) {
            int v = zz[k];
            const bool negative = v < 0;
            int magnitude = (negative ? -v : v) >> al;
            if (magnitude == 0) {
                ++run;
                continue;
            }
            if (!sequential) FlushEndOfBand();
            while (run > 15) {
                Symbol(1, index, 0xF0);
                run -= 16;
            }
            const int n = BitLength(magnitude);
            Symbol(1, index, (run << 4) | n);
            Bits(uint32_t(negative ? ~magnitude : magnitude), n);
            run = 0;
        }
        if (run == 0) return;
        if (sequential) {
            Symbol(1, index, 0x00);
            return;
        }
        m_eobComponent = index;
        if (++m_eobRun == 0x7FFF) FlushEndOfBand();
    }

    void EncodeAcRefine(int index, const int zz[64]) {
        const int ss = m_scan.ss, se = m_scan.se, al = m_scan.al;
        int magnitude[64];
        int lastNew = -1;
        for (int k = ss; k <= se; ++k) {
            magnitude[k] = std::abs(zz[k]) >> al;
            if (magnitude[k] == 1) lastNew = k;
        }
        int run = 0;
        std::vector<uint8_t> pending;  // correction bits since the last symbol
        for (int k = ss; k <= se; ++k) {
            const int m = magnitude[k];
            if (m == 0) {
                ++run;
                continue;
            }
            while (run > 15 && k <= lastNew) {
                FlushEndOfBand();
                Symbol(1, index, 0xF0);
                run -= 16;
                FlushBits(pending);
                pending.clear();
            }
            if (m > 1) {
                pending.push_back(uint8_t(m & 1));
                continue;
            }
            FlushEndOfBand();
            Symbol(1, index, (run << 4) | 1);
            Bits(zz[k] < 0 ? 0u : 1u, 1);
            FlushBits(pending);
            pending.clear();
            run = 0;
        }
        if (run > 0 || !pending.empty()) {
            m_eobComponent = index;
            ++m_eobRun;
            m_eobBits.insert(m_eobBits.end(), pending.begin(), pending.end());
            if (m_eobRun == 0x7FFF) FlushEndOfBand();
        }
    }

    const JpegCoefficients& m_c;
    const JpegScan& m_scan;
    bool m_progressive;
    uint16_t m_restart;
    uint32_t m_freq[2][2][256] = {};
    HuffmanCode m_codes[2][2];
    BitSink* m_sink = nullptr;
    std::string* m_out = nullptr;
    int m_predictor[4] = {};
    uint32_t m_eobRun = 0;
    int m_eobComponent = 0;
    std::vector<uint8_t> m_eobBits;
    uint32_t m_restartCount = 0;
};

// Forward DCT of one block of samples (level-shifted inside), then
// quantised with rounding to nearest.
void TransformBlock(const double in[64], const JpegQuantTable& q, int16_t out[64]) {
    static double basis[8][8];
    static bool ready = false;
    if (!ready) {
        const double pi = 3.14159265358979323846;
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x)
                basis[u][x] = (u == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * x + 1) * u * pi / 16.0);
        ready = true;
    }
    double tmp[64];
    for (int y = 0; y < 8; ++y)
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int x = 0; x < 8; ++x) s += basis[u][x] * (in[y * 8 + x] - 128.0);
            tmp[y * 8 + u] = s;
        }
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int y = 0; y < 8; ++y) s += basis[v][y] * tmp[y * 8 + u];
            out[v * 8 + u] = int16_t(std::lround(s / q[size_t(v * 8 + u)]));
        }
}

void LayOut(JpegCoefficients* c) {
    uint32_t hMax = 1, vMax = 1;
    for (const JpegComponent& k : c->components) {
        hMax = std::max<uint32_t>(hMax, k.h);
        vMax = std::max<uint32_t>(vMax, k.v);
    }
    const size_t n = c->components.size();
    c->blocksWide.assign(n, 0);
    c->blocksHigh.assign(n, 0);
    c->blocks.assign(n, {});
    for (size_t i = 0; i < n; ++i) {
        const JpegComponent& k = c->components[i];
        if (n == 1) {
            c->blocksWide[i] = (c->width + 7) / 8;
            c->blocksHigh[i] = (c->height + 7) / 8;
        } else {
            c->blocksWide[i] = (c->width + 8 * hMax - 1) / (8 * hMax) * k.h;
            c->blocksHigh[i] = (c->height + 8 * vMax - 1) / (8 * vMax) * k.v;
        }
        c->blocks[i].assign(size_t(c->blocksWide[i]) * c->blocksHigh[i] * 64, 0);
    }
}

} // namespace

JpegQuantTable FlatQuant(uint16_t value) {
    JpegQuantTable t;
    t.fill(value);
    return t;
}

JpegQuantTable LumaQuant(int quality) { return Scaled(kLumaBase, quality); }
JpegQuantTable ChromaQuant(int quality) { return Scaled(kChromaBase, quality); }

JpegCoefficients MakeEmptyJpegCoefficients(uint32_t width, uint32_t height,
                                           const std::vector<JpegComponent>& components,
                                           const std::vector<JpegQuantTable>& quant) {
    JpegCoefficients c;
    c.width = width;
    c.height = height;
    c.components = components;
    c.quant = quant;
    LayOut(&c);
    return c;
}

JpegCoefficients MakeJpegCoefficients(uint32_t width, uint32_t height, const std::vector<std::vector<uint8_t>>& planes,
                                      const std::vector<JpegComponent>& components,
                                      const std::vector<JpegQuantTable>& quant) {
    JpegCoefficients c = MakeEmptyJpegCoefficients(width, height, components, quant);
    uint32_t hMax = 1, vMax = 1;
    for (const JpegComponent& k : components) {
        hMax = std::max<uint32_t>(hMax, k.h);
        vMax = std::max<uint32_t>(vMax, k.v);
    }
    for (size_t i = 0; i < components.size(); ++i) {
        const JpegComponent& k = components[i];
        const uint32_t fx = components.size() == 1 ? 1 : hMax / k.h;
        const uint32_t fy = components.size() == 1 ? 1 : vMax / k.v;
        const uint32_t w = (width + fx - 1) / fx;
        const uint32_t h = (height + fy - 1) / fy;
        // Component samples: box averages of the full-size plane.
        std::vector<double> samples(size_t(w) * h);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                double sum = 0;
                int n = 0;
                for (uint32_t dy = 0; dy < fy; ++dy)
                    for (uint32_t dx = 0; dx < fx; ++dx) {
                        const uint32_t sx = std::min(width - 1, x * fx + dx);
                        const uint32_t sy = std::min(height - 1, y * fy + dy);
                        sum += planes[i][size_t(sy) * width + sx];
                        ++n;
                    }
                samples[size_t(y) * w + x] = std::floor(sum / n + 0.5);
            }
        const JpegQuantTable& q = quant[k.quantIndex];
        for (uint32_t by = 0; by < c.blocksHigh[i]; ++by)
            for (uint32_t bx = 0; bx < c.blocksWide[i]; ++bx) {
                double in[64];
                for (int y = 0; y < 8; ++y)
                    for (int x = 0; x < 8; ++x) {
                        const uint32_t sx = std::min(w - 1, bx * 8 + uint32_t(x));
                        const uint32_t sy = std::min(h - 1, by * 8 + uint32_t(y));
                        in[y * 8 + x] = samples[size_t(sy) * w + sx];
                    }
                TransformBlock(in, q, c.Block(i, by, bx));
            }
    }
    return c;
}

std::vector<JpegScan> DefaultProgressiveScript(size_t componentCount) {
    std::vector<JpegScan> script;
    std::vector<int> all;
    for (size_t i = 0; i < componentCount; ++i) all.push_back(int(i));
    script.push_back({all, 0, 0, 0, 1});
    script.push_back({{0}, 1, 5, 0, 2});
    for (size_t i = componentCount; i-- > 1;) script.push_back({{int(i)}, 1, 63, 0, 1});
    script.push_back({{0}, 6, 63, 0, 2});
    script.push_back({{0}, 1, 63, 2, 1});
    script.push_back({all, 0, 0, 1, 0});
    for (size_t i = componentCount; i-- > 1;) script.push_back({{int(i)}, 1, 63, 1, 0});
    script.push_back({{0}, 1, 63, 1, 0});
    return script;
}

std::string WriteJpeg(const JpegCoefficients& c, const JpegWriteOptions& options) {
    std::string out;
    PutMarker(&out, 0xD8);
    if (options.jfif) {
        PutMarker(&out, 0xE0);
        Put16(&out, 16);
        out += std::string("JFIF\0", 5);
        out += std::string("\x01\x01\x00\x00\x01\x00\x01\x00\x00", 9);
    }
    if (options.adobeTransform >= 0) {
        // "Adobe", version 100, two flag words, the transform.
        std::string adobe = std::string("Adobe\x00\x64\x00\x00\x00\x00", 11);
        if (!options.adobeCut) adobe.push_back(char(options.adobeTransform));
        PutMarker(&out, 0xEE);
        Put16(&out, uint32_t(2 + adobe.size()));
        out += adobe;
    }
    bool wide = false;
    for (size_t t = 0; t < c.quant.size(); ++t) {
        const bool sixteen = *std::max_element(c.quant[t].begin(), c.quant[t].end()) > 255;
        wide = wide || sixteen;
        PutMarker(&out, 0xDB);
        Put16(&out, sixteen ? 131 : 67);
        out.push_back(char(((sixteen ? 1 : 0) << 4) | int(t)));
        for (int k = 0; k < 64; ++k) {
            const uint16_t v = c.quant[t][size_t(kZigZag[k])];
            if (sixteen) out.push_back(char(v >> 8));
            out.push_back(char(v & 0xFF));
        }
    }
    if (options.restartInterval) {
        PutMarker(&out, 0xDD);
        Put16(&out, 4);
        Put16(&out, options.restartInterval);
    }
    PutMarker(&out, options.progressive ? 0xC2 : (wide ? 0xC1 : 0xC0));
    Put16(&out, uint32_t(8 + 3 * c.components.size()));
    out.push_back(8);
    Put16(&out, c.height);
    Put16(&out, c.width);
    out.push_back(char(c.components.size()));
    for (const JpegComponent& k : c.components) {
        out.push_back(char(k.id));
        out.push_back(char((k.h << 4) | k.v));
        out.push_back(char(k.quantIndex));
    }
    std::vector<JpegScan> scans;
    if (options.progressive) {
        scans = options.script.empty() ? DefaultProgressiveScript(c.components.size()) : options.script;
    } else if (options.scanPerComponent) {
        for (size_t i = 0; i < c.components.size(); ++i) scans.push_back({{int(i)}, 0, 63, 0, 0});
    } else {
        JpegScan all;
        for (size_t i = 0; i < c.components.size(); ++i) all.components.push_back(int(i));
        scans.push_back(all);
    }
    for (const JpegScan& scan : scans) {
        ScanEncoder(c, scan, options.progressive, options.restartInterval).Write(&out);
    }
    PutMarker(&out, 0xD9);
    return out;
}

std::vector<std::vector<uint8_t>> RgbToYCbCrPlanes(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb) {
    std::vector<std::vector<uint8_t>> planes(3, std::vector<uint8_t>(size_t(width) * height));
    auto clamp = [](double v) { return uint8_t(std::min(255.0, std::max(0.0, std::floor(v + 0.5)))); };
    for (size_t i = 0; i < size_t(width) * height; ++i) {
        const double r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
        planes[0][i] = clamp(0.299 * r + 0.587 * g + 0.114 * b);
        planes[1][i] = clamp(-0.168736 * r - 0.331264 * g + 0.5 * b + 128.0);
        planes[2][i] = clamp(0.5 * r - 0.418688 * g - 0.081312 * b + 128.0);
    }
    return planes;
}

std::string WriteRgbJpeg(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb, int lumaH, int lumaV,
                         const JpegQuantTable& lumaQuant, const JpegQuantTable& chromaQuant,
                         const JpegWriteOptions& options) {
    const std::vector<JpegComponent> components = {
        {1, uint8_t(lumaH), uint8_t(lumaV), 0}, {2, 1, 1, 1}, {3, 1, 1, 1}};
    return WriteJpeg(MakeJpegCoefficients(width, height, RgbToYCbCrPlanes(width, height, rgb), components,
                                          {lumaQuant, chromaQuant}),
                     options);
}

size_t FindJpegMarker(const std::string& jpeg, uint8_t code, bool fromEnd) {
    size_t found = std::string::npos;
    size_t pos = 2;
    auto byte = [&](size_t i) { return uint8_t(jpeg[i]); };
    while (pos + 1 < jpeg.size()) {
        if (byte(pos) != 0xFF) {
            ++pos;
            continue;
        }
        const uint8_t marker = byte(pos + 1);
        if (marker == 0x00 || marker == 0xFF || (marker >= 0xD0 && marker <= 0xD7)) {
            if (marker == code) {
                if (!fromEnd) return pos;
                found = pos;
            }
            ++pos;
            continue;
        }
        if (marker == code) {
            if (!fromEnd) return pos;
            found = pos;
        }
        if (marker == 0xD9 || pos + 3 >= jpeg.size()) break;
        const size_t length = (size_t(byte(pos + 2)) << 8) | byte(pos + 3);
        pos += 2 + length;
        // Entropy-coded data follows a scan header: step to the next marker.
        if (marker == 0xDA) {
            while (pos + 1 < jpeg.size() &&
                   !(byte(pos) == 0xFF && byte(pos + 1) != 0 && !(byte(pos + 1) >= 0xD0 && byte(pos + 1) <= 0xD7)))
                ++pos;
        }
    }
    return found;
}

} // namespace kvtest
