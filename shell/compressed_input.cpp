#include "shell/compressed_input.h"

#include <zlib.h>
#include <zstd.h>

#include <array>
#include <cstdint>
#include <memory>

#include "common/failure.h"

namespace pedsim::shell {

namespace {

constexpr std::size_t line_end_window = std::size_t{64} << 20;
constexpr std::size_t output_block = std::size_t{1} << 20;

[[noreturn]] void refuse(const std::string& name, const std::string& what)
{
    throw common::Failure(common::ExitStatus::input_refused, common::Place{name}, what);
}

bool starts_with_bytes(std::string_view text, std::initializer_list<unsigned char> bytes)
{
    if (text.size() < bytes.size()) return false;
    std::size_t k = 0;
    for (const unsigned char byte : bytes)
        if (static_cast<unsigned char>(text[k++]) != byte) return false;
    return true;
}

enum class Compression {
    none,
    gzip,
    zstd,
    bzip2,
    xz
};

// What the magic bytes at the start of `text` say it is compressed with.
Compression compression_of(std::string_view text)
{
    if (starts_with_bytes(text, {0x1f, 0x8b})) return Compression::gzip;
    if (starts_with_bytes(text, {0x28, 0xb5, 0x2f, 0xfd})) return Compression::zstd;
    if (starts_with_bytes(text, {'B', 'Z', 'h'})) return Compression::bzip2;
    if (starts_with_bytes(text, {0xfd, '7', 'z', 'X', 'Z', 0x00})) return Compression::xz;
    return Compression::none;
}

// Grows `text` by one block for the decompressor to fill; returns where.
char* grow(std::string& text, std::size_t& used)
{
    if (text.size() < used + output_block) text.resize(used + output_block);
    return text.data() + used;
}

// The decoders' states, each freed by its owner on every path out, a
// refusal thrown midway included.
struct InflateEnd {
    void operator()(z_stream* stream) const
    {
        inflateEnd(stream);
        delete stream;
    }
};
using Inflater = std::unique_ptr<z_stream, InflateEnd>;

struct FreeZstdContext {
    void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
};
using ZstdDecoder = std::unique_ptr<ZSTD_DCtx, FreeZstdContext>;

Inflater new_inflater()
{
    auto stream = std::make_unique<z_stream>();
    // 15 + 32: the largest window, and a gzip or zlib header recognised by itself.
    if (inflateInit2(stream.get(), 15 + 32) != Z_OK) throw std::bad_alloc();
    return Inflater(stream.release());
}

std::string gunzipped(const std::string& raw, const std::string& name)
{
    const Inflater inflater = new_inflater();
    z_stream& stream = *inflater;
    std::string text;
    std::size_t used = 0, given = 0;
    bool checked = false;
    int status = Z_OK;
    for (;;) {
        if (stream.avail_in == 0 && given < raw.size()) {
            const std::size_t in = std::min<std::size_t>(raw.size() - given, 1u << 30);
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data() + given));
            stream.avail_in = static_cast<uInt>(in);
            given += in;
        }
        stream.next_out = reinterpret_cast<Bytef*>(grow(text, used));
        stream.avail_out = static_cast<uInt>(output_block);
        status = inflate(&stream, Z_NO_FLUSH);
        used += output_block - stream.avail_out;
        check_line_end({text.data(), used}, checked, name);
        const bool input_left = stream.avail_in > 0 || given < raw.size();
        // gzip allows several members one after the other, as `cat a.gz b.gz` makes.
        if (status == Z_STREAM_END && input_left) status = inflateReset(&stream);
        if (status == Z_STREAM_END || (status != Z_OK && status != Z_BUF_ERROR)) break;
        if (status == Z_BUF_ERROR && !input_left) break;  // the data end before their end mark
    }
    if (status == Z_MEM_ERROR) throw std::bad_alloc();
    if (status != Z_STREAM_END)
        refuse(name, std::string("damaged gzip data: ") +
                         (stream.msg != nullptr ? stream.msg : "it ends before its end mark") +
                         "; check the download or recompress it");
    text.resize(used);
    return text;
}

std::string unzstded(const std::string& raw, const std::string& name)
{
    const ZstdDecoder decoder(ZSTD_createDCtx());
    if (decoder == nullptr) throw std::bad_alloc();
    ZSTD_DCtx* context = decoder.get();
    std::string text;
    std::size_t used = 0, remaining = 1;
    bool checked = false;
    ZSTD_inBuffer in{raw.data(), raw.size(), 0};
    while (in.pos < in.size) {
        ZSTD_outBuffer out{grow(text, used), output_block, 0};
        remaining = ZSTD_decompressStream(context, &out, &in);
        used += out.pos;
        if (ZSTD_isError(remaining)) break;
        check_line_end({text.data(), used}, checked, name);
    }
    // Flush what the decoder still holds once the input is consumed.
    while (!ZSTD_isError(remaining) && remaining != 0) {
        ZSTD_outBuffer out{grow(text, used), output_block, 0};
        remaining = ZSTD_decompressStream(context, &out, &in);
        used += out.pos;
        if (out.pos == 0) break;
    }
    if (ZSTD_isError(remaining))
        refuse(name, std::string("damaged zstd data: ") + ZSTD_getErrorName(remaining) +
                         "; check the download or recompress it");
    if (remaining != 0)
        refuse(name, "damaged zstd data: it ends before its last frame does; check the download "
                     "or recompress it");
    text.resize(used);
    return text;
}

}  // namespace

void check_line_end(std::string_view text, bool& checked, const std::string& name)
{
    if (checked || text.size() < line_end_window) return;
    checked = true;
    if (text.substr(0, line_end_window).find('\n') == std::string_view::npos)
        refuse(name, "no line end in the first 64 MiB; this is not a pedigree text");
}

bool is_compressed(std::string_view text) { return compression_of(text) != Compression::none; }

std::string decompressed(std::string raw, const std::string& name)
{
    switch (compression_of(raw)) {
    case Compression::gzip:
        return gunzipped(raw, name);
    case Compression::zstd:
        return unzstded(raw, name);
    case Compression::bzip2:
        refuse(name, "compressed with bzip2: decompress it first (bunzip2 -k)");
    case Compression::xz:
        refuse(name, "compressed with xz: decompress it first (unxz -k)");
    case Compression::none:
        break;
    }
    return raw;
}

}  // namespace pedsim::shell
