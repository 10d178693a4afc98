#include "support/DecompressionBomb.h"

#include "support/HandMadePdf.h"
#include "support/MuPdfSession.h"

#include <array>
#include <fstream>
#include <stdexcept>
#include <string>

namespace ombrix::testing {

namespace {

constexpr std::uint32_t kAdlerBase = 65521;

std::uint32_t adler32(const std::string& data) {
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : data) {
        a = (a + c) % kAdlerBase;
        b = (b + a) % kAdlerBase;
    }
    return a | (b << 16);
}

// The checksum of two pieces one after the other, from theirs (as zlib's combine).
std::uint32_t adlerCombine(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength) {
    const std::uint64_t rem = secondLength % kAdlerBase;
    std::uint64_t sum1 = first & 0xffff;
    std::uint64_t sum2 = (rem * sum1) % kAdlerBase;
    sum1 += (second & 0xffff) + kAdlerBase - 1;
    sum2 += (first >> 16) + (second >> 16) + kAdlerBase - rem;
    sum1 %= kAdlerBase;
    sum2 %= kAdlerBase;
    return std::uint32_t(sum1 | (sum2 << 16));
}

// The checksum of `count` copies of a piece.
std::uint32_t adlerRepeated(std::uint32_t piece, std::uint64_t length, std::uint64_t count) {
    std::uint32_t result = 1; // the empty string
    std::uint32_t power = piece;
    std::uint64_t powerLength = length;
    for (; count; count >>= 1) {
        if (count & 1) {
            result = adlerCombine(result, power, powerLength);
        }
        power = adlerCombine(power, power, powerLength);
        powerLength *= 2;
    }
    return result;
}

// Deflate's bit order: fields from the least significant bit, Huffman codes from the most.
class BitWriter {
public:
    void bits(std::uint32_t value, int count) {
        current_ |= std::uint64_t(value & ((1u << count) - 1)) << used_;
        used_ += count;
        while (used_ >= 8) {
            out_ += char(current_ & 0xff);
            current_ >>= 8;
            used_ -= 8;
        }
    }
    void code(std::uint32_t value, int length) {
        std::uint32_t reversed = 0;
        for (int i = 0; i < length; ++i) {
            reversed |= ((value >> i) & 1) << (length - 1 - i);
        }
        bits(reversed, length);
    }
    void literal(unsigned char c) {
        if (c < 144) {
            code(0x30 + c, 8);
        } else {
            code(0x190 + (c - 144), 9);
        }
    }
    std::string finish() {
        if (used_) {
            out_ += char(current_);
        }
        return std::move(out_);
    }
    void reserve(std::size_t bytes) { out_.reserve(bytes); }

private:
    std::string out_;
    std::uint64_t current_ = 0; // bits not yet written, from the least significant
    int used_ = 0;
};

// The distance code of a back-reference and its extra bits.
void distance(BitWriter& w, std::uint32_t d) {
    static constexpr std::array<std::uint32_t, 30> base = {
        1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    int c = 29;
    while (base[std::size_t(c)] > d) {
        --c;
    }
    w.code(std::uint32_t(c), 5);
    const int extra = c < 4 ? 0 : (c - 2) / 2;
    w.bits(d - base[std::size_t(c)], extra);
}

} // namespace

BombStream decompressionBombStream(std::uint64_t inflatedBytes, bool stacked) {
    // 43 bytes a line, so one longest back-reference (258 bytes) is six whole lines. Each
    // line is a text object of its own: memory grows by many small blocks as it is read,
    // the way a page of real text fills it.
    const std::string prefix = "% bomb\n";
    const std::string line = "BT /F1 1 Tf (" + std::string(22, 'A') + ") Tj ET\n";
    const std::string suffix = "% end\n";
    static_assert(258 % 43 == 0);
    const std::uint64_t references = inflatedBytes / 258 + 1;
    const std::uint64_t lines = 1 + 6 * references;

    BitWriter w;
    w.reserve(std::size_t(references * 17 / 8 + 64));
    w.bits(1, 1); // the last block
    w.bits(1, 2); // fixed Huffman codes
    for (char c : prefix + line) {
        w.literal(static_cast<unsigned char>(c));
    }
    for (std::uint64_t i = 0; i < references; ++i) {
        w.code(0xc5, 8); // length 258 (code 285)
        distance(w, std::uint32_t(line.size()));
    }
    for (char c : suffix) {
        w.literal(static_cast<unsigned char>(c));
    }
    w.code(0, 7); // end of block
    std::string inner = "\x78\x01" + w.finish();
    std::uint32_t sum =
        adlerCombine(adler32(prefix), adlerRepeated(adler32(line), 43, lines), 43 * lines);
    sum = adlerCombine(sum, adler32(suffix), suffix.size());
    for (int shift = 24; shift >= 0; shift -= 8) {
        inner += char((sum >> shift) & 0xff);
    }

    // The hand-made stream is itself regular enough to shrink a thousandfold again.
    std::string wrapped = inner;
    if (stacked) {
        MuPdfSession session;
        std::size_t length = 0;
        unsigned char* data = nullptr;
        session.run("deflate", [&](fz_context* ctx) {
            data = fz_new_deflated_data(ctx, &length,
                                        reinterpret_cast<const unsigned char*>(inner.data()),
                                        inner.size(), FZ_DEFLATE_BEST);
        });
        wrapped.assign(reinterpret_cast<const char*>(data), length); // zlib format
        fz_free(session.ctx(), data);
    }

    return BombStream{wrapped, stacked ? "[/FlateDecode /FlateDecode]" : "/FlateDecode"};
}

void writeDecompressionBomb(const std::filesystem::path& path, std::uint64_t inflatedBytes,
                            bool stacked) {
    const BombStream bomb = decompressionBombStream(inflatedBytes, stacked);
    const std::string pdf = handMadePdf({
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> "
        ">>",
        "<< /Filter " + bomb.filter + " /Length " + std::to_string(bomb.data.size()) +
            " >>\nstream\n" + bomb.data + "\nendstream",
    });
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(pdf.data(), std::streamsize(pdf.size()));
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

} // namespace ombrix::testing
