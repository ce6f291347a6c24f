#include "read/block_codec.h"

#include <algorithm>
#include <climits>

#ifdef ISORELINK_HAVE_ZLIB
#include <zlib.h>
#endif
#ifdef ISORELINK_HAVE_LZ4
#include <lz4.h>
#include <lz4hc.h>
#endif

namespace isorelink::host {

bool codec_available(packed::Storage storage) {
    switch (storage) {
    case packed::Storage::Plain: return true;
#ifdef ISORELINK_HAVE_ZLIB
    case packed::Storage::Deflate: return true;
#endif
#ifdef ISORELINK_HAVE_LZ4
    case packed::Storage::Lz4: return true;
#endif
    default: return false;
    }
}

std::string_view codec_library(packed::Storage storage) {
    return storage == packed::Storage::Lz4 ? "liblz4" : "zlib";
}

std::optional<std::size_t> decode_block(packed::Storage storage, ByteView stored, MutableByteView out) {
    switch (storage) {
    case packed::Storage::Plain: {
        const std::size_t n = std::min(stored.size(), out.size());
        std::copy_n(stored.begin(), n, out.begin());
        return n;
    }
    case packed::Storage::Deflate: {
#ifdef ISORELINK_HAVE_ZLIB
        if (stored.size() > UINT_MAX || out.size() > UINT_MAX) return std::nullopt;
        z_stream z{};
        if (inflateInit2(&z, -15) != Z_OK) return std::nullopt;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<std::byte*>(stored.data()));
        z.avail_in = static_cast<uInt>(stored.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        const int status = inflate(&z, Z_FINISH);
        const std::size_t produced = out.size() - z.avail_out;
        inflateEnd(&z);
        // A block padded by the index shift ends before its stored bytes do.
        if (status != Z_STREAM_END && !(status == Z_BUF_ERROR && produced == out.size())) return std::nullopt;
        return produced;
#else
        return std::nullopt;
#endif
    }
    case packed::Storage::Lz4: {
#ifdef ISORELINK_HAVE_LZ4
        if (stored.size() > INT_MAX || out.size() > INT_MAX) return std::nullopt;
        // The stored length may include padding after the block; the safe
        // decoder stops where the block's data end only when told the
        // exact length, so try the partial decoder that tolerates the tail.
        const int n = LZ4_decompress_safe_partial(reinterpret_cast<const char*>(stored.data()),
                                                  reinterpret_cast<char*>(out.data()), static_cast<int>(stored.size()),
                                                  static_cast<int>(out.size()), static_cast<int>(out.size()));
        if (n < 0) return std::nullopt;
        return static_cast<std::size_t>(n);
#else
        return std::nullopt;
#endif
    }
    }
    return std::nullopt;
}

bool encode_block(packed::Storage storage, ByteView block, std::vector<std::byte>& out) {
    switch (storage) {
    case packed::Storage::Plain: out.assign(block.begin(), block.end()); return true;
    case packed::Storage::Deflate: {
#ifdef ISORELINK_HAVE_ZLIB
        z_stream z{};
        if (deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
        out.resize(deflateBound(&z, static_cast<uLong>(block.size())));
        z.next_in = reinterpret_cast<Bytef*>(const_cast<std::byte*>(block.data()));
        z.avail_in = static_cast<uInt>(block.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        const int status = deflate(&z, Z_FINISH);
        out.resize(out.size() - z.avail_out);
        deflateEnd(&z);
        return status == Z_STREAM_END;
#else
        return false;
#endif
    }
    case packed::Storage::Lz4: {
#ifdef ISORELINK_HAVE_LZ4
        out.resize(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(block.size()))));
        const int n = LZ4_compress_HC(reinterpret_cast<const char*>(block.data()), reinterpret_cast<char*>(out.data()),
                                      static_cast<int>(block.size()), static_cast<int>(out.size()), 9);
        if (n <= 0) return false;
        out.resize(static_cast<std::size_t>(n));
        return true;
#else
        return false;
#endif
    }
    }
    return false;
}

} // namespace isorelink::host
